#include "app/AppSettings.h"

#include "platform/ProgramInfo.h"

#ifndef TAVRO_UPDATE_SERVER
#define TAVRO_UPDATE_SERVER "localhost"
#endif

TAppSettings TAppSettings::Default() { return {TAVRO_UPDATE_SERVER, DataFolder()}; }
