// What mdmclean removes for a configuration: its removal plan.
#pragma once

#include "common/plan.h"
#include "mdmclean/configuration.h"

namespace mdm::cleaner {

RemovalPlan ProgramPlan(const Configuration& configuration);

}  // namespace mdm::cleaner
