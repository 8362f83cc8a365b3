#include "common/damage_json.h"

void writeDamageJson(JsonWriter& json, const DamageCounts& counts) {
  json.beginObject();
  for (int k = 0; k < kDamageKinds; ++k) {
    const DamageCount& c = counts.byKind[static_cast<size_t>(k)];
    json.key(kDamageKindNames[static_cast<size_t>(k)]);
    json.beginObject();
    json.key("events");
    json.value(c.events);
    json.key("bytes");
    json.value(c.bytes);
    json.key("packets");
    json.value(c.packets);
    json.endObject();
  }
  json.endObject();
}
