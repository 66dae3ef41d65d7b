#include "console/station_settings.h"

StationSettingsRecord StationSettings;
