// SensorLabel.h: the product label an IP camera's list row shows, from the image sensor named in
// the camera's configuration block (command 533).
#pragma once

#include "ZQ_NetSDK.h"

// The first of the ten entries whose name is exactly "SensorModel" (case-sensitive, read within
// the name's 48 bytes), or nullptr when there is none.
const ZQ_ConfigEntry* FindSensorModelEntry(const ZQ_ConfigBlock& block);

// The label for an entry's value by its first six bytes: "OV9712" -> "QEMA 1Mpx", "IMX138" and
// "IMX238" -> "QEMA 1.3Mpx"; nullptr for any other sensor (the row keeps its text).
const char* SensorLabelFor(const ZQ_ConfigEntry& entry);

// Both steps at once: the label of the first "SensorModel" entry, or nullptr. Only that first
// entry is looked at, whether or not its value is known.
const char* SensorLabel(const ZQ_ConfigBlock& block);
