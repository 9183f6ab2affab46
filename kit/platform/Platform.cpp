#include "platform/Platform.h"

namespace ostrel {

Platform::~Platform() = default;

}  // namespace ostrel
