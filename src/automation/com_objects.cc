#include "automation/com_objects.h"

#include <atomic>

namespace corvane::automation {
namespace {

std::atomic<long> g_objects{0};

}  // namespace

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }
long LiveObjects() { return g_objects; }

}  // namespace corvane::automation
