// Resource identifiers of the engine.
#pragma once

#define IDS_OPEN_ERROR_CAPTION 112
#define IDS_NEWER_VERSION 113
