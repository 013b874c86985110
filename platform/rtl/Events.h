// The plain notification event of every layer: Sender is the object that fires it, or none.
#pragma once

#include <functional>

using TNotifyEvent = std::function<void(void* Sender)>;
