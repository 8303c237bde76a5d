// Appenders on both clients of a GlusterFS volume, four through each mount,
// append to one file while this process kills them at random: across
// machines as within one, no completed line is lost and none is torn.
#include "append_stress.h"
#include "cluster.h"

namespace {

using ClusterStress = qcluster::OnTwoClients;

TEST_F(ClusterStress, KilledAppendersOnTwoClientsLoseNoLineAndTearNone) {
    // Mount A learns of B's last lines after its attribute timeout (1 s).
    qstress::runKilledAppenders({onA("log.txt"), onB("log.txt")}, qstress::runTime(60),
                                std::chrono::milliseconds(100), {100, 2000},
                                std::chrono::seconds(2));
}

}  // namespace
