#include "console/dfu_settings.h"

DfuSettingsRecord DfuSettings;
ControlFlagsRecord ControlFlags;
