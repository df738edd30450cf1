#include "status_text.h"

#include "tydb_status.h"

namespace tool {

std::string DescribeStatus(int32_t status) { return std::to_string(status) + " (" + TydbStatusText(status) + ")"; }

}  // namespace tool
