// The hooks of the shipped programs: every operation runs as it is. See host_hooks.h.
#include "support/host_hooks.h"

namespace host::hooks {

std::optional<Fault> BeforeOperation(Operation) { return std::nullopt; }

void AfterChange(const ChangeDone&) {}

void BeforeOpeningExisting(int, const std::string&) {}

std::optional<int64_t> AvailableSpace() { return std::nullopt; }

}  // namespace host::hooks
