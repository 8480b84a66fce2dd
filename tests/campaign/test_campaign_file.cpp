// The campaign file: every fault is refused before anything runs, with its file and line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "campaign_file.h"
#include "campaign_folder.h"

namespace {

namespace fs = std::filesystem;

struct Files {
    fs::path dir = fs::temp_directory_path() / ("korvan_campaign_file_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    Files() { fs::create_directories(dir); }
    ~Files() { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(dir / name) << text;
        return (dir / name).string();
    }
};

const std::string kScript = "t=0.6 input {{azimuth}}\n";
const std::string kHead = "script = \"ascent.txt\"\nruns = 3\nseed = 5\n";
const std::string kAzimuth = "[parameters.azimuth]\ndistribution = \"uniform\"\nlow = 60\nhigh = 80\n";

std::string refusal(const Files& f, const std::string& campaign, const std::string& script = kScript) {
    f.write("ascent.txt", script);
    try {
        campaign::read_campaign(f.write("c.toml", campaign));
    } catch (const campaign::CampaignError& e) {
        return e.what();
    }
    return "";
}

TEST(CampaignFile, RefusesEachFaultWithItsFileAndLine) {
    const Files f;
    const std::string toml = (f.dir / "c.toml").string(), script = (f.dir / "ascent.txt").string();
    const struct {
        std::string campaign, script, expected;
    } CASES[] = {
        {kHead + "[parameters.azimuth]\ndistribution = \"gamma\"\n", kScript,
         toml + ":5: [parameters.azimuth]: unknown distribution \"gamma\""},
        {kHead + "[parameters.azimuth]\ndistribution = \"uniform\"\nlow = 80\nhigh = 60\n", kScript,
         toml + ":4: [parameters.azimuth]: \"low\" 80 lies above \"high\" 60"},
        {kHead + kAzimuth, kScript + "t=1 input {{fuel}}\n",
         script + ":2: placeholder {{fuel}} has no [parameters.fuel]"},
        {kHead + kAzimuth + "[parameters.fuel]\ndistribution = \"choice\"\nvalues = [0.9, 1]\n", kScript,
         toml + ":8: [parameters.fuel] fills no {{fuel}}"},
        {kHead + kAzimuth + "[host.gravity]\ndistribution = \"uniform\"\nlow = 1\nhigh = 2\n", kScript,
         toml + ":8: [host.gravity]: unknown host dispersion"},
        {kHead + "until = -1\n" + kAzimuth, kScript, toml + ":4: \"until\" must be 0 or more"},
        {kHead + "tries = 2\n" + kAzimuth, kScript, toml + ":4: unknown key \"tries\""},
        {kHead + "success = \"altitude>3\"\n" + kAzimuth, kScript, toml + ":4: success \"altitude>3\": \"altitude\" is not a figure"},
        {kHead + "[parameters.azimuth]\ndistribution = \"normal\"\nmean = 0\nsd = 1\nlow = 50\n", kScript,
         "holds almost none of the normal distribution"},
        {"runs = 0\nseed = 1\n", kScript, toml + ":1: \"runs\" must be a whole number from 1"},
        {kHead + kAzimuth, "t=1 input {{azimuth\n", script + ":1: \"{{\" without its \"}}\""},
        {kHead + "runs = 2\n", kScript, toml + ":4:"},  // TOML itself: a key given twice
    };
    for (const auto& c : CASES) {
        const std::string said = refusal(f, c.campaign, c.script);
        EXPECT_NE(said.find(c.expected), std::string::npos) << "said: " << said << "\nexpected: " << c.expected;
    }
}

// Parameters keep the file's order (template ones, then host ones); templates are filled with
// exact values; the command names every host dispersion as korvan-sim's option.
TEST(CampaignFile, PlansCasesWithTheirValuesInTemplatesAndCommands) {
    const Files f;
    f.write("ascent.txt", kScript + "t=2 input {{ fuel }}\n");
    const campaign::Campaign c = campaign::read_campaign(f.write(
        "c.toml", kHead + "until = 700\n[parameters.fuel]\ndistribution = \"choice\"\nvalues = [\"full\", \"half\"]\n" +
                      "weights = [0, 1]\n[host.wind_east]\ndistribution = \"normal\"\nmean = 3\nsd = 0\n" + kAzimuth));
    ASSERT_EQ(c.parameters.size(), 3u);
    EXPECT_EQ(c.parameters[0].column(), "fuel");
    EXPECT_EQ(c.parameters[1].column(), "azimuth");
    EXPECT_EQ(c.parameters[2].column(), "host.wind_east");
    const std::vector<campaign::CasePlan> cases = campaign::plan_cases(c);
    ASSERT_EQ(cases.size(), 3u);
    for (const campaign::CasePlan& p : cases) {
        EXPECT_EQ(p.values[0], "half");
        EXPECT_EQ(p.values[2], "3");
        EXPECT_EQ(campaign::render(*c.script, {"fuel", "azimuth"}, p.values),
                  "t=0.6 input " + p.values[1] + "\nt=2 input half\n");
        const std::string command = campaign::command_script(c, p, campaign::korvan_sim_arguments(c, p, "/opt/k sim"));
        EXPECT_NE(command.find("exec '/opt/k sim' --script input/script.txt --until 700 --wind-east 3 --no-acmi --no-czml --no-replay --out .\n"),
                  std::string::npos)
            << command;
    }
}

}  // namespace
