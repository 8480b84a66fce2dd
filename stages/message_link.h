// Loading and releasing the message module that carries item lines between vessels.
#pragma once

#include "orbiter_api.h"

// The message module "Modules\cvelmessage", or null when it cannot be loaded.
HMODULE load_message_module();
// Releases a module from load_message_module; null is ignored.
void release_message_module(HMODULE module);
