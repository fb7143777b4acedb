// Who makes Durvo, as the report and the About box name it.
#ifndef DURVO_MAKER_H
#define DURVO_MAKER_H

#include <windows.h>

#define DURVO_PLUGIN_VERSION TEXT("Durvo Meter Plugin v3.4.3")
#define DURVO_METER_VERSION TEXT("Durvo Meter v3.4.3")
#define DURVO_MAKER_NOTICE TEXT("(c) 2005 Norvane. Freeware.")
#define DURVO_MAKER_CONTACT TEXT("support@norvane.example")

#endif
