// The host's pin catalog against the built library: every described module
// exists and has exactly the pins described.
#include "host/pin_catalog.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_support.h"

namespace {

using zhost::PinCatalog;

TEST(PinCatalog, EveryModuleHasExactlyTheDescribedPins) {
    const auto modules = PinCatalog::global().modules();
    ASSERT_FALSE(modules.empty());
    EXPECT_TRUE(PinCatalog::global().duplicates().empty());
    for (const zhost::ModuleDesc* d : modules) {
        const int32_t extra = d->variableInputs ? 3 : 0;
        const auto pins = zhost::instancePins(*d, extra);
        std::vector<zhost::PinInfo> infos;
        for (const auto& p : pins) infos.push_back({p.direction, p.datatype});
        zhost::SharedTableStore tables;
        std::string err;
        auto inst =
            zhost::Instance::create(ztest::library(), d->id, tables, infos, 48000.0f, 64, &err);
        ASSERT_TRUE(inst) << d->id << ": " << err;
        ASSERT_EQ(inst->open(), mp::MP_OK) << d->id;
        // The library knows a pin index exactly when it registered that pin.
        std::vector<float> buf(64);
        for (size_t i = 0; i < pins.size(); ++i) {
            EXPECT_EQ(inst->bindBuffer(static_cast<int32_t>(i), buf.data()), mp::MP_OK)
                << d->id << " pin " << i << " " << pins[i].name;
        }
        EXPECT_EQ(inst->bindBuffer(static_cast<int32_t>(pins.size()), buf.data()), mp::MP_FAIL)
            << d->id << " has more pins than described";
    }
}

TEST(PinCatalog, FindsPinsByNameIgnoringCaseOrByIndex) {
    zhost::ModuleDesc d;
    d.id = "Example";
    d.pins = {zhost::floatIn("Mix"), zhost::audioOut("Out")};
    d.variableInputs = true;
    d.extraInputPrefix = "In";
    const auto pins = zhost::instancePins(d, 2);
    ASSERT_EQ(pins.size(), 4u);
    EXPECT_EQ(pins[3].name, "In2");
    EXPECT_EQ(pins[3].datatype, mp::PIN_TYPE_AUDIO);
    EXPECT_EQ(pins[3].direction, mp::PIN_DIR_IN);
    EXPECT_EQ(zhost::findPin(pins, "mix"), 0);
    EXPECT_EQ(zhost::findPin(pins, "IN1"), 2);
    EXPECT_EQ(zhost::findPin(pins, "3"), 3);
    EXPECT_EQ(zhost::findPin(pins, "4"), -1);
    EXPECT_EQ(zhost::findPin(pins, "-1"), -1);
    EXPECT_EQ(zhost::findPin(pins, ""), -1);
    EXPECT_EQ(zhost::findPin(pins, "In"), -1);
    // Fixed-input modules ignore an extra-input count.
    d.variableInputs = false;
    EXPECT_EQ(zhost::instancePins(d, 2).size(), 2u);
}

}  // namespace
