// The link's failed requests end the run from another thread's point of view.
#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "support/simulator_world.h"

namespace vdl {
namespace {

using test::LinkTest;

TEST_F(LinkTest, ThirdFailedRequestStopsRequestsAndEndsTheRunWithSimconnectError) {
    connect();
    sim_->injectFault(SimCall::RequestDataOnSimObjectType, FaultKind::Fail, 2);
    sim_->injectFault(SimCall::RequestDataOnSimObject, FaultKind::Fail, 1, 0, REQUEST_USER_STATE);
    auto trafficStepRequest = [&] {
        std::lock_guard lock(simMutex);
        if (SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, 1852,
                                                  SimObjectType::Aircraft) < 0)
            gf_simConnectRequestFailed();
    };
    trafficStepRequest();
    trafficStepRequest();
    EXPECT_EQ(gf_failedRequestCount(), 2);
    EXPECT_FALSE(simStopped);
    EXPECT_TRUE(exits().empty());

    // The third failure ends the run through the window and the exit entry: only with simMutex
    // let go (another thread must be able to take it).
    bool simMutexFree = false;
    gf_setFinalExitHook([&](ExitReason reason, int delay) {
        simMutexFree = std::async(std::launch::async, [] {
                           std::unique_lock lock(simMutex, std::try_to_lock);
                           return lock.owns_lock();
                       }).get();
        std::lock_guard lock(collectMutex_);
        exits_.push_back({reason, delay});
    });
    gf_getUserAcData();  // a failed user data request counts too
    EXPECT_TRUE(simMutexFree);
    EXPECT_TRUE(simStopped);
    ASSERT_EQ(exits().size(), 1u);
    EXPECT_EQ(exits()[0], std::pair(ExitReason::SimConnectError, 10));
    EXPECT_EQ(mainWindow.statusLine(), "SimConnect request error 3, see Log.txt");
    const auto log = test::readWholeFile(work_.path() / "Log.txt");
    EXPECT_NE(log.find("SimConnect request error 3, see Log.txt"), std::string::npos);
    EXPECT_NE(log.find("===> SimConnect request user aircraft data fails"), std::string::npos);

    // While stopped, the user data is not asked for any more.
    const std::size_t before = sim_->calls().size();
    gf_getUserAcData();
    EXPECT_EQ(sim_->calls().size(), before);
}

}  // namespace
}  // namespace vdl
