// Damage counts as JSON, as the run's report and pelginfo give them: an
// object from each kind's name to its "events", "bytes" and "packets".
#pragma once

#include "common/damage_counts.h"
#include "common/json_writer.h"

void writeDamageJson(JsonWriter& json, const DamageCounts& counts);
