#include "cli/CliRunner.h"

#include <gtest/gtest.h>

using lvtest::runLvtb;

TEST(LvtbDispatch, VersionAndHelp)
{
    const auto version = runLvtb({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "beta_1.1.6\n");

    const auto help = runLvtb({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: lvtb COMMAND"), std::string::npos);

    // No command: one usage line on stderr, the help stays for --help.
    const auto bare = runLvtb({});
    EXPECT_EQ(bare.status, 2);
    EXPECT_TRUE(bare.out.empty());
    EXPECT_EQ(bare.err.rfind("usage: lvtb ", 0), 0u) << bare.err;
    EXPECT_EQ(bare.err.find('\n'), bare.err.size() - 1) << "one line";
}

TEST(LvtbDispatch, UnknownCommandIsAUsageErrorOnStderr)
{
    const auto r = runLvtb({"frobnicate", "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u);
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
}

TEST(LvtbDispatch, ArgsSeparateFlagsOptionsAndPositionals)
{
    const lvtb::Args a({"file.wav", "--json", "--from", "0.5", "--", "--literal"}, {"--json"}, {"--from"});
    EXPECT_TRUE(a.flag("--json"));
    EXPECT_EQ(a.option("--from").value_or(""), "0.5");
    EXPECT_FALSE(a.option("--to").has_value());
    ASSERT_EQ(a.positionalCount(), 2u);
    EXPECT_EQ(a.positional(1), "--literal");
    EXPECT_THROW(lvtb::Args({"--bogus"}, {"--json"}, {}), lvtb::UsageError);
    EXPECT_THROW(lvtb::Args({"x", "--from"}, {}, {"--from"}), lvtb::UsageError);
    EXPECT_THROW(a.expectPositional(1, "FILE"), lvtb::UsageError);

    // --opt=value wherever --opt value; the value may be empty or hold "=".
    const lvtb::Args joined({"--from=0.5", "--symbols=", "--log=a=b.log", "x"}, {"--json"}, {"--from", "--symbols", "--log"});
    EXPECT_EQ(joined.option("--from").value_or(""), "0.5");
    EXPECT_EQ(joined.option("--symbols").value_or("unset"), "");
    EXPECT_EQ(joined.option("--log").value_or(""), "a=b.log");
    EXPECT_EQ(joined.positionalCount(), 1u);
    EXPECT_THROW(lvtb::Args({"--json=yes"}, {"--json"}, {}), lvtb::UsageError);
    EXPECT_THROW(lvtb::Args({"--bogus=1"}, {"--json"}, {}), lvtb::UsageError);
    const auto f0 = runLvtb({"f0", "none.wav", "--method=guess"});
    EXPECT_EQ(f0.status, 2);
    EXPECT_NE(f0.err.find("--method is harvest or tracker"), std::string::npos) << f0.err;
}
