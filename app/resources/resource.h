// Resource identifiers of porvanta.exe.
#pragma once

#define IDI_PORVANTA 1
#define IDR_WAITING_PNG 2
