#include <gtest/gtest.h>

#include "core/receipt/JSONObjectReader.h"
#include "core/receipt/JSONObjectWriter.h"
#include "core/store/TaskStatus.h"

using namespace kestrin;
using nlohmann::json;

namespace {

// A record shaped like the ones other documents keep: an optional timestamp
// and a list of objects, which receipts do not have.
struct Tick {
    std::string stepId;
    Timestamp completedAt{};
    bool operator==(const Tick&) const = default;
};

struct State {
    TaskStatus status = TaskStatus::pending;
    std::optional<Timestamp> snoozedUntil;
    std::vector<Tick> completedSteps;
    bool operator==(const State&) const = default;
};

template <typename Object, typename T>
void tickFields(Object& o, T& tick) {
    o.field("stepId", tick.stepId);
    o.field("completedAt", tick.completedAt);
}

template <typename Object, typename T>
void stateFields(Object& o, T& state) {
    o.field("status", state.status);
    o.field("snoozedUntil", state.snoozedUntil);
    o.objects("completedSteps", state.completedSteps,
              [](auto& nested, auto& tick) { tickFields(nested, tick); });
}

Result<State, DecodingError> readState(const json& value) {
    JSONObjectReader reader(value, "task_states[3]");
    State state;
    stateFields(reader, state);
    return reader.finish(std::move(state));
}

}  // namespace

TEST(JSONObjectReader, OptionalTimestampsAndPathsOfNestedListElements) {
    json value = {
        {"status", "snoozed"}, {"snoozed_until", nullptr}, {"completed_steps", json::array()}};
    EXPECT_EQ(readState(value)->snoozedUntil, std::nullopt);
    value.erase("snoozed_until");
    EXPECT_EQ(readState(value)->snoozedUntil, std::nullopt);
    value["snoozedUntil"] = "tomorrow";
    EXPECT_EQ(readState(value).error().path, "task_states[3].snoozed_until");
    value["snoozedUntil"] = nullptr;
    value["completed_steps"] = {{{"step_id", "a"}, {"completed_at", "2026-07-27T08:30:00Z"}},
                                {{"step_id", "b"}}};
    EXPECT_EQ(readState(value).error().path, "task_states[3].completed_steps[1].completed_at");
    EXPECT_EQ(readState(json::array()).error().path, "task_states[3]");
}

TEST(JSONObjectReader, WriterAndReaderShareOneFieldList) {
    State state;
    state.status = TaskStatus::readyToResume;
    state.completedSteps = {{"a", Timestamp{std::chrono::milliseconds{1785141000123}}}};
    JSONObjectWriter writer;
    stateFields(writer, state);
    const json written = writer.take();
    EXPECT_EQ(written.dump(),
              R"({"completed_steps":[{"completed_at":"2026-07-27T08:30:00.123Z","step_id":"a"}],)"
              R"("status":"ready_to_resume"})");
    EXPECT_EQ(*readState(written), state);
}
