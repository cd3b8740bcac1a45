// The version of the Explorer extension, for its version resource and for its About box when
// the resource cannot be read.
#pragma once

#define NSX12_VERSION_MAJOR 2
#define NSX12_VERSION_MINOR 0
#define NSX12_VERSION_TEXT "2.0"
