// What mdmclean removes for a configuration: its removal plan.
#pragma once

#include "core/stages/runner.h"
#include "mdmclean/configuration.h"

namespace mdm::mdmclean {

RemovalPlan ProgramPlan(const Configuration& configuration);

}  // namespace mdm::mdmclean
