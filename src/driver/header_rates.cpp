#include "driver/header_rates.h"

#include "common/exit_status.h"
#include "common/fatal_error.h"

namespace {

constexpr const char* kRateOutOfRange = "# ERROR: File %s, %s rate %d is out of range (allowed %d to %d)\n";

struct RateRule {
  const char* tag;
  int32_t value;
  int32_t low;
  int32_t high;
};

}  // namespace

std::optional<RateFault> firstRateOutOfRange(const HuxInfo& hux, const TivInfo* tiv) {
  const auto check = [](const RateRule& rule) -> std::optional<RateFault> {
    if (rule.value >= rule.low && rule.value <= rule.high) return std::nullopt;
    return RateFault{rule.tag, rule.value, rule.low, rule.high};
  };
  const auto interruptRule = [](int32_t rate) { return RateRule{"intr", rate, 1, kMaxInterruptRate}; };
  const RateRule huxRules[] = {
      interruptRule(hux.interrupt_count),
      {"mic ", hux.mic_hz, 0, kMaxMicrophoneRate},
      {"acc ", hux.accelerometer_hz, 0, kMaxChannelRate},
      {"amb ", hux.amb_light_hz, 0, kMaxChannelRate},
      {"bar ", hux.barometer_hz, 0, kMaxChannelRate},
      {"comp", hux.compass_hz, 0, kMaxChannelRate},
      {"dals", hux.dals_hz, 0, kMaxChannelRate},
      {"hum ", hux.humidity_hz, 0, kMaxChannelRate},
  };
  for (const RateRule& rule : huxRules) {
    if (auto fault = check(rule)) return fault;
  }
  if (tiv == nullptr) return std::nullopt;
  const RateRule tivRules[] = {
      interruptRule(tiv->interrupt_count),
      {"gyro", tiv->gyro, 0, kMaxChannelRate},
      {"mag ", tiv->magnetometer, 0, kMaxChannelRate},
  };
  for (const RateRule& rule : tivRules) {
    if (auto fault = check(rule)) return fault;
  }
  return std::nullopt;
}

void refuseImplausibleRates(const FileHeader& header, bool carriesTiv, const std::string& name,
                            Console& console) {
  const auto fault = firstRateOutOfRange(header.huxInfo, carriesTiv ? &header.tivInfo : nullptr);
  if (!fault) return;
  console.out(kRateOutOfRange, name.c_str(), fault->tag, fault->value, fault->low, fault->high);
  exitRun(console, exit_status::kRateOutOfRange);
}
