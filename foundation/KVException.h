#pragma once
// The program's exception classes live at the bottom layer so that every layer can raise them.
#include "platform/KVError.h"
