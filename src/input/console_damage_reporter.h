// Prints the reader's damage events as the console's WARNING and ERROR
// lines, and counts them into the current file's counts when given some.
#pragma once

#include "common/console.h"
#include "common/damage_counts.h"
#include "input/damage_reporter.h"

class ConsoleDamageReporter : public DamageReporter {
 public:
  explicit ConsoleDamageReporter(Console& console) : console_(console) {}

  // Where the events are counted from now on (not owned); null counts none.
  void countInto(DamageCounts* counts) { counts_ = counts; }

  void damage(const DamageEvent& event) override;

 private:
  Console& console_;
  DamageCounts* counts_ = nullptr;
};
