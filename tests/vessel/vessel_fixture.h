// A World with Korvan vessels in it, for the vessel's tests (korvan_world.h), with the
// checks the tests add.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vessel/korvan_world.h"

namespace korvan_test {

class VesselWorld : public KorvanWorld {
public:
    runtime::VesselRecord& record(const Korvan* k) {
        runtime::VesselRecord* rec = world.record(k->GetHandle());
        EXPECT_NE(rec, nullptr);
        return *rec;
    }
    runtime::VesselDefinition& def(const Korvan* k) { return record(k).def; }
};

// One standard Korvan, class caps set, ready to step.
class KorvanTest : public ::testing::Test {
protected:
    void SetUp() override { korvan = env.make(); }
    VesselWorld env;
    Korvan* korvan = nullptr;
};

}  // namespace korvan_test
