// Plain-language meanings of the statuses people meet through the tool.
#ifndef TYDB_TOOLS_STATUS_TEXT_H
#define TYDB_TOOLS_STATUS_TEXT_H

#include <cstdint>
#include <string>

namespace tool {

// "12 (file not found)"; unknown codes get a generic meaning.
std::string DescribeStatus(int32_t status);

}  // namespace tool

#endif  // TYDB_TOOLS_STATUS_TEXT_H
