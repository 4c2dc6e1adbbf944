// CEditLock: holds the editor mutex (when there is one) for a scope. Every edit of patterns and of
// the song takes it, so the driver thread, which holds the same mutex for a whole buffer, never
// sees an edit half-done.
#pragma once

#include "machine_interface/mutex.h"

using CEditLock = COptionalMutexLock;
