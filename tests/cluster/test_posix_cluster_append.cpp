// Appenders on both clients of a shared file system, four through each
// mount, append to one file while this process kills them at random: across
// machines as within one, no completed line is lost and none is torn.
#include "append_stress.h"
#include "cluster.h"

namespace {

using ClusterStress = qcluster::OnTwoClients;

#ifdef QORVEL_CLUSTER_CEPH
// Appends from both clients to one file move the file's capabilities from
// client to client through the metadata server for every open: 13 to 35
// appends a second in all (docs/distributed.md); a third of the slowest run
// is asked.
constexpr qstress::AtLeast kMinimum = {100, 250};
#else
constexpr qstress::AtLeast kMinimum = {100, 2000};
#endif

TEST_F(ClusterStress, KilledAppendersOnTwoClientsLoseNoLineAndTearNone) {
    // Mount A learns of B's last lines after its attribute timeout (1 s on
    // GlusterFS).
    qstress::runKilledAppenders({onA("log.txt"), onB("log.txt")}, qstress::runTime(60),
                                std::chrono::milliseconds(100), kMinimum, std::chrono::seconds(2));
}

}  // namespace
