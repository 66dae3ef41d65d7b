#include "dfu/dfu_settings.h"

DfuSettingsRecord DfuSettings;
ControlFlagsRecord ControlFlags;
