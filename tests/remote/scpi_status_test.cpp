#include "remote/scpi_status.h"

#include <gtest/gtest.h>

namespace tavlin {
namespace {

SweepProgress Running(bool continuous, std::uint64_t started, std::uint64_t completed) {
    return {true, continuous, started, completed, false};
}

// *OPC completes when the sweep in progress ends: at once with none running,
// at the end of a single sweep, after a whole continuous pass begun after it.
TEST(ScpiStatus, OperationCompleteWhenTheSweepInProgressEnds) {
    ScpiStatus status;
    status.ArmOperationComplete({});
    EXPECT_EQ(status.TakeEventStatus(), ScpiStatus::kOperationComplete);

    status.ArmOperationComplete(Running(false, 3, 2));
    status.Observe(Running(false, 3, 2));
    EXPECT_EQ(status.TakeEventStatus(), 0);
    status.Observe({false, false, 3, 3, false});
    EXPECT_EQ(status.TakeEventStatus(), ScpiStatus::kOperationComplete);

    status.ArmOperationComplete(Running(false, 4, 3));
    status.Observe(Running(false, 5, 4));  // ended, and another single sweep begun
    EXPECT_EQ(status.TakeEventStatus(), ScpiStatus::kOperationComplete);

    status.ArmOperationComplete(Running(true, 5, 4));
    status.Observe(Running(true, 6, 5));  // the pass begun before *OPC
    EXPECT_EQ(status.TakeEventStatus(), 0);
    status.Observe(Running(true, 7, 6));
    EXPECT_EQ(status.TakeEventStatus(), ScpiStatus::kOperationComplete);

    status.ArmOperationComplete(Running(false, 8, 7));
    status.Clear();  // *CLS forgets a pending *OPC
    status.Observe({});
    EXPECT_EQ(status.TakeEventStatus(), 0);
}

// A sweep that ran between two looks is latched as an operation event; the
// enabled events reach the status byte, and the enabled summaries request
// service.
TEST(ScpiStatus, OperationEventsAndTheStatusByte) {
    ScpiStatus status;
    status.Observe({false, false, 1, 1, true});
    EXPECT_EQ(status.OperationCondition(), ScpiStatus::kMeasuring);
    EXPECT_EQ(status.TakeOperationEvent(), ScpiStatus::kSweeping | ScpiStatus::kMeasuring);
    EXPECT_EQ(status.TakeOperationEvent(), 0);

    status.SetOperationEnable(ScpiStatus::kSweeping);
    status.Observe({false, false, 2, 2, false});
    status.NoteError(-222);
    status.SetServiceRequestEnable(0xFF);
    EXPECT_EQ(status.ServiceRequestEnable(), 0xFF & ~ScpiStatus::kRequestService);
    EXPECT_EQ(status.StatusByte({true, false, false}), ScpiStatus::kErrorAvailable |
                                                           ScpiStatus::kOperationSummary |
                                                           ScpiStatus::kRequestService);
    status.SetEventEnable(ScpiStatus::kExecutionError);
    EXPECT_EQ(status.StatusByte({false, false, false}) & ScpiStatus::kEventSummary,
              ScpiStatus::kEventSummary);
    EXPECT_EQ(status.TakeEventStatus(), ScpiStatus::kExecutionError);
}

}  // namespace
}  // namespace tavlin
