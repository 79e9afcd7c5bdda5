// The resource table of the build tools that make resources: they run before the resources exist.
#include "tarsklib/resource-table.h"

namespace tarsk {

const EmbeddedResource kEmbeddedResources[] = {{nullptr, nullptr, nullptr, 0}};
const size_t kEmbeddedResourceCount = 0;

}  // namespace tarsk
