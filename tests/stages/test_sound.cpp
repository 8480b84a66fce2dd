// The sound connector: connecting to a service the process has loaded, the guarded
// wrappers, the failure log, and the vessel's own sounds.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sound/sound_connector.h"
#include "stages_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The service stand-in records its calls in the file this variable names; empty: unset.
void set_record_file(const std::string& file) {
    constexpr const char* kRecordVariable = "KORVAN_SOUND_RECORD";
#if defined(_WIN32)
    _putenv_s(kRecordVariable, file.c_str());
#else
    if (file.empty()) ::unsetenv(kRecordVariable);
    else ::setenv(kRecordVariable, file.c_str(), 1);
#endif
}

std::vector<std::string> read_lines(const fs::path& p) {
    std::ifstream in(p);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Runs each test in a fresh temporary directory, where the log and the service's record
// are written, with the connector forgotten before and after.
class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = fs::current_path();
        dir = fs::temp_directory_path() / ("korvan_sound_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        set_record_file((dir / "calls.txt").string());
        SoundResetConnector();
        world.set_root(KORVAN_RUN_TREE);
    }
    void TearDown() override {
        SoundResetConnector();
        if (service != nullptr) FreeLibrary(service);
        set_record_file("");
        fs::current_path(previous);
        fs::remove_all(dir);
    }

    void load_service(const std::string& path = std::string(KORVAN_RUN_TREE) + "/Modules/OrbiterSound") {
        service = LoadLibraryA(path.c_str());
        ASSERT_NE(service, nullptr) << path;
    }
    std::vector<std::string> calls() const { return read_lines(dir / "calls.txt"); }
    std::string log() const { return read_file(dir / "OrbiterSound_Log.txt"); }

    fs::path previous, dir;
    runtime::World world;
    HMODULE service = nullptr;
    int vessel_stand_in = 0;  // a vessel handle for the service
};

const std::string kHeader = "Orbiter Sound Log Started\n*****************************\n\n";
const std::string kDashes = "--------------------------------------";
std::string entry(const std::string& message) { return kDashes + "\n" + message + "\n\n"; }

TEST_F(SoundTest, WithoutTheServiceTheLogGetsItsHeaderAndOneEntry) {
    EXPECT_EQ(SoundConnect(&vessel_stand_in), -1);
    EXPECT_EQ(log(), kHeader + entry("ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - "
                                     "not installed or activated"));
}

TEST_F(SoundTest, NullVesselHandleIsLogged) {
    load_service();
    EXPECT_EQ(SoundConnect(nullptr), -1);
    EXPECT_EQ(log(), kHeader + entry("ERR01= Vessel->ConnectToOrbiterSoundDLL3: A vessel passed a NULL handle to "
                                     "this function"));
    EXPECT_TRUE(calls().empty());
}

TEST_F(SoundTest, OlderServicesAreRefusedWithTheirOwnEntry) {
    struct Case {
        const char* folder;
        const char* message;
    };
    const Case cases[] = {
        {"sound_without_id", "ERR03= unable to connect to GetMyID, Older OrbiterSound.dll ?"},
        {"sound_without_routines", "ERR02= ConnectToOrbiterSoundDLL3: Unable to find routines missing OrbiterSound3.0 ?"},
    };
    for (const Case& c : cases) {
        fs::remove(dir / "OrbiterSound_Log.txt");
        load_service(std::string(STAGES_TEST_RUN_TREE) + "/" + c.folder + "/OrbiterSound");
        EXPECT_EQ(SoundConnect(&vessel_stand_in), -1) << c.folder;
        EXPECT_EQ(log(), kHeader + entry(c.message)) << c.folder;
        EXPECT_EQ(SoundPlay(0, 26, 1, 255, 0), 0) << c.folder;  // nothing resolved, nothing called
        FreeLibrary(service);
        service = nullptr;
    }
}

TEST_F(SoundTest, TheLogStopsAfter101Entries) {
    for (int i = 0; i < 120; ++i) SoundLog("message", "");
    const std::vector<std::string> lines = read_lines(dir / "OrbiterSound_Log.txt");
    // Header: three lines; each entry: dashes, message, empty line.
    EXPECT_EQ(lines.size(), 3u + 101u * 3u);
    EXPECT_EQ(lines.back(), "");
    SoundResetConnector();
    SoundLog("again", nullptr);
    EXPECT_EQ(read_lines(dir / "OrbiterSound_Log.txt").back(), "again");
}

TEST_F(SoundTest, ConnectedVesselGetsItsIdFromTheService) {
    load_service();
    EXPECT_EQ(SoundConnect(&vessel_stand_in), 0);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].rfind("GetVesselSoundID3 ", 0), 0u);
    EXPECT_FALSE(fs::exists(dir / "OrbiterSound_Log.txt"));
}

TEST_F(SoundTest, WrappersCallOnlyForIds0To59AndSlots1To60) {
    load_service();
    ASSERT_EQ(SoundConnect(&vessel_stand_in), 0);
    struct Case {
        int id, slot;
        bool called;
    };
    const Case cases[] = {{0, 0, false}, {0, 61, false}, {60, 26, false}, {-1, 26, false},
                          {0, 1, true},  {0, 60, true},  {59, 26, true}};
    for (const Case& c : cases) {
        const std::size_t before = calls().size();
        const int rc = SoundPlay(c.id, c.slot, 0, 255, 0);
        EXPECT_EQ(rc, c.called ? 1 : 0) << c.id << " " << c.slot;
        EXPECT_EQ(calls().size() - before, c.called ? 1u : 0u) << c.id << " " << c.slot;
        EXPECT_EQ(SoundStop(c.id, c.slot), c.called ? 1 : 0);
        EXPECT_EQ(SoundLoad(c.id, c.slot, "x.wav", 4), c.called ? 1 : 0);
        EXPECT_EQ(SoundIsPlaying(c.id, c.slot), 0);
    }
}

TEST_F(SoundTest, WithoutAConnectionEveryWrapperReturnsZero) {
    EXPECT_EQ(SoundLoad(0, 20, "x.wav", 4), 0);
    EXPECT_EQ(SoundPlay(0, 20, 0, 255, 0), 0);
    EXPECT_EQ(SoundStop(0, 20), 0);
    EXPECT_EQ(SoundIsPlaying(0, 20), 0);
}

// ---------------------------------------------------------------------------------------
// The vessel's sounds
// ---------------------------------------------------------------------------------------

class VesselSoundTest : public SoundTest {
protected:
    Korvan* make_korvan() {
        runtime::VesselClass cls;
        cls.name = "Korvan";
        world.add_class(cls);
        runtime::VesselRecord* rec = world.instantiate_vessel("K1", "Korvan");
        delete rec->iface;
        auto* k = new Korvan(static_cast<OBJHANDLE>(rec));
        rec->iface = k;
        k->clbkSetClassCaps(nullptr);
        return k;
    }
    void set_main_level(Korvan* k, double level) {
        for (THRUSTER_HANDLE th : k->main_thrusters)
            if (th != nullptr) k->SetThrusterLevel(th, level);
    }
    std::vector<std::string> calls_matching(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& line : calls())
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }
};

TEST_F(VesselSoundTest, ConstructionConnectsOnceAndLoadsTheFourSlots) {
    load_service();
    Korvan* k = make_korvan();
    EXPECT_EQ(k->sound_id, 0);  // the service's first vessel
    EXPECT_EQ(calls_matching("GetVesselSoundID3").size(), 1u);
    EXPECT_EQ(calls_matching("LoadVesselWaveOBSound3"),
              (std::vector<std::string>{"LoadVesselWaveOBSound3 0 20 Sound\\Korvan\\gear.wav 4",
                                        "LoadVesselWaveOBSound3 0 24 Sound\\Korvan\\stg2sep.wav 4",
                                        "LoadVesselWaveOBSound3 0 25 Sound\\Korvan\\fasep.wav 4",
                                        "LoadVesselWaveOBSound3 0 26 Sound\\Korvan\\jet.wav 4"}));
}

TEST_F(VesselSoundTest, WithoutTheServiceTheVesselIsSilentAndLogsOneEntry) {
    Korvan* k = make_korvan();
    EXPECT_EQ(k->sound_id, -1);
    EXPECT_EQ(log(), kHeader + entry("ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - "
                                     "not installed or activated"));
}

TEST_F(VesselSoundTest, TheGearKeyStopsThenPlaysTheGearSoundOnceAndNoOtherKeySounds) {
    load_service();
    Korvan* k = make_korvan();
    auto press = [&](DWORD scan_code) {
        world.keystate[scan_code] = static_cast<char>(0x80);
        const int consumed = k->clbkConsumeBufferedKey(scan_code, true, world.keystate.data());
        world.keystate[scan_code] = 0;
        return consumed;
    };
    const std::size_t before = calls().size();
    for (DWORD key : {OAPI_KEY_K, OAPI_KEY_B, OAPI_KEY_O}) press(key);
    EXPECT_EQ(calls().size(), before) << "only the gear key sounds";

    const std::vector<std::string> gear_sound = {"StopVesselWave3 0 20", "PlayVesselWaveOBSound3 0 20 0 255 0"};
    for (int press_count = 1; press_count <= 2; ++press_count) {  // down, then up again
        ASSERT_EQ(press(OAPI_KEY_G), 1);
        const std::vector<std::string> all = calls();
        ASSERT_EQ(all.size(), before + 2 * static_cast<std::size_t>(press_count));
        EXPECT_EQ(std::vector<std::string>(all.end() - 2, all.end()), gear_sound) << "press " << press_count;
    }
    world.accept_delayed_keys = false;
    EXPECT_EQ(press(OAPI_KEY_G), 1);
    EXPECT_EQ(calls().size(), before + 4) << "a refused key plays nothing";
}

TEST_F(VesselSoundTest, JetSoundFollowsTheMainLevelWithinTheServicesRange) {
    load_service();
    Korvan* k = make_korvan();
    struct Case {
        double level, nozzle;
        const char* played;  // null: nothing played
    };
    const Case cases[] = {
        {1.0, 0.0, "PlayVesselWaveOBSound3 0 26 1 255 20050"},
        {1.0, 1.0, "PlayVesselWaveOBSound3 0 26 1 0 20050"},
        {0.5, 0.5, "PlayVesselWaveOBSound3 0 26 1 91 15550"},
        {1.5, 0.0, "PlayVesselWaveOBSound3 0 26 1 255 20050"},  // above full level: held at full
    };
    for (const Case& c : cases) {
        set_main_level(k, c.level);
        k->nozzle_position = c.nozzle;
        k->jet_from_six_engine_set = true;
        k->update_jet_sound();
        EXPECT_EQ(calls().back(), c.played) << c.level << " " << c.nozzle;
    }
}

TEST_F(VesselSoundTest, JetSoundStopsAtLevelZeroAndWithTheRocketSet) {
    load_service();
    Korvan* k = make_korvan();
    for (bool six_engines : {true, false}) {
        set_main_level(k, 1.0);
        k->jet_from_six_engine_set = true;
        k->update_jet_sound();
        if (six_engines) set_main_level(k, 0.0);
        k->jet_from_six_engine_set = six_engines;
        k->update_jet_sound();
        EXPECT_EQ(calls().back(), "StopVesselWave3 0 26") << six_engines;
        k->update_jet_sound();  // not playing any more: nothing to stop
        EXPECT_EQ(calls().back(), "IsPlayingVesselWave3 0 26 -> 0") << six_engines;
    }
}

}  // namespace
