// The built module file, loaded through the platform loader as the simulator loads it:
// its two entry functions create and destroy vessels that answer every callback.
#include <string>

#include "runtime/loader.h"
#include "vessel_fixture.h"

namespace korvan_test {
namespace {

constexpr const char* kModulePath = KORVAN_RUN_TREE "/Modules/Korvan";

class KorvanModuleFile : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryA(kModulePath);
        ASSERT_NE(module, nullptr) << kModulePath;
        init = runtime::procedure<OvcInitFunc>(module, "ovcInit");
        exit = runtime::procedure<OvcExitFunc>(module, "ovcExit");
    }
    void TearDown() override {
        env.world.destroy_all_vessels();
        if (module != nullptr) FreeLibrary(module);
    }

    // A vessel record of the class, its object made by the module's ovcInit.
    runtime::VesselRecord* create(const std::string& name, const std::string& class_name) {
        runtime::VesselClass cls;
        cls.name = class_name;
        env.world.add_class(cls);
        runtime::VesselRecord* rec = env.world.instantiate_vessel(name, class_name);
        if (rec == nullptr) return nullptr;
        delete rec->iface;
        rec->iface = init(rec, 1);
        return rec;
    }
    void destroy(runtime::VesselRecord* rec) {
        exit(rec->iface);
        rec->iface = nullptr;
        env.world.destroy_vessel(rec);
    }

    VesselWorld env;
    HMODULE module = nullptr;
    OvcInitFunc init = nullptr;
    OvcExitFunc exit = nullptr;
};

TEST_F(KorvanModuleFile, test_module_loading_the_entry_functions_have_undecorated_names) {
    EXPECT_NE(init, nullptr);
    EXPECT_NE(exit, nullptr);
    exit(nullptr);  // does nothing
}

struct ModuleCase {
    const char* class_name;
    double empty_mass;
    size_t docks;
};

TEST_F(KorvanModuleFile, test_module_loading_a_korvan_and_a_korvanb_fly_through_every_callback) {
    ASSERT_NE(init, nullptr);
    const ModuleCase cases[] = {{"Korvan", 59874.0, 0}, {"KorvanB", 55874.0, 1}};
    for (const ModuleCase& c : cases) {
        runtime::VesselRecord* rec = create(std::string("M-") + c.class_name, c.class_name);
        ASSERT_NE(rec, nullptr);
        ASSERT_NE(rec->iface, nullptr);
        VESSEL* v = rec->iface;
        v->clbkSetClassCaps(nullptr);
        EXPECT_EQ(rec->def.empty_mass, c.empty_mass) << c.class_name;
        EXPECT_EQ(rec->def.docks.size(), c.docks) << c.class_name;
        EXPECT_EQ(rec->def.thrusters.size(), 26u);
        EXPECT_EQ(rec->def.animations.size(), 9u);

        for (int i = 0; i < 5; ++i) {
            env.world.sim_time += 0.1;
            env.world.sim_step = 0.1;
            v->clbkPostStep(env.world.sim_time, 0.1, env.world.mjd);
        }
        EXPECT_EQ(rec->def.control_surfaces.size(), 5u);

        v->clbkVisualCreated(nullptr, 1);
        v->clbkVisualDestroyed(nullptr, 0);
        EXPECT_EQ(rec->def.airfoils.size(), 2u);
        EXPECT_EQ(rec->def.meshes.size(), 1u);
        destroy(rec);
    }
    EXPECT_EQ(env.world.vessel_count(), 0u);
}

TEST_F(KorvanModuleFile, test_module_loading_the_world_creates_a_vessel_by_its_module_class) {
    runtime::VesselClass cls;
    cls.name = "KorvanFromModule";
    cls.module = "Korvan";
    env.world.add_class(cls);
    std::string error;
    runtime::VesselRecord* rec = env.world.create_vessel("W", "KorvanFromModule", nullptr, &error);
    ASSERT_NE(rec, nullptr) << error;
    EXPECT_EQ(rec->def.empty_mass, 59874.0);
    env.world.sim_step = 0.1;
    rec->iface->clbkPostStep(0.1, 0.1, env.world.mjd);
    env.world.destroy_vessel(rec);
}

}  // namespace
}  // namespace korvan_test
