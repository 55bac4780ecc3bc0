#pragma once

#include <string>

namespace tavlin::test {

// Names each row of a parameterised table after the row's `name`, so that a
// failing row says which it is and the rows after it still run.
inline constexpr auto kRowName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace tavlin::test
