// The command line: the computer's sides and levels, help, version, and
// the faulty options that end the program with code 2.
#include "app/options.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace {

struct Outcome {
  bool run;
  int code;
  std::string out, err;
  TOptions options;
};

Outcome Read(std::vector<const char *> args) {
  args.insert(args.begin(), "zoftrel");
  Outcome o;
  std::ostringstream out, err;
  o.code = -1;
  o.run = ReadOptions(int(args.size()), args.data(), o.options, out, err, o.code);
  o.out = out.str();
  o.err = err.str();
  return o;
}

TEST(Options, LevelsAndSides) {
  Outcome o = Read({"debug", "--blue=hard", "--red=easy", "other", "--redder=x"});
  EXPECT_TRUE(o.run);
  EXPECT_EQ(o.code, 0);
  EXPECT_TRUE(o.options.Computer[1] && o.options.Computer[2]);
  EXPECT_EQ(o.options.Level[1], lvEasy);
  EXPECT_EQ(o.options.Level[2], lvHard);
  EXPECT_EQ(o.out + o.err, "");

  o = Read({"--blue=normal"});
  EXPECT_TRUE(o.run);
  EXPECT_FALSE(o.options.Computer[1]);
  EXPECT_TRUE(o.options.Computer[2]);
  EXPECT_EQ(o.options.Level[2], lvNormal);

  o = Read({});
  EXPECT_TRUE(o.run);
  EXPECT_FALSE(o.options.Computer[1] || o.options.Computer[2]);
}

TEST(Options, AFaultyOrRepeatedLevelEndsWithCodeTwoAndOneLine) {
  const std::vector<std::vector<const char *>> faulty = {
      {"--red=Hard"},
      {"--blue="},
      {"--red"},
      {"--blue", "hard"},
      {"--red=medium"},
      {"--blue=hard", "--blue=hard"},
      {"--red=easy", "--blue=easy", "--red=hard"}};
  for (const auto &args : faulty) {
    Outcome o = Read(args);
    SCOPED_TRACE(args[0]);
    EXPECT_FALSE(o.run);
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.out, "");
    ASSERT_FALSE(o.err.empty());
    EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
    EXPECT_NE(o.err.find("easy, normal, hard"), std::string::npos) << o.err;
  }
  EXPECT_EQ(Read({"--red=x"}).err, "zoftrel: --red takes one of the levels easy, normal, hard\n");
  EXPECT_EQ(Read({"--red=easy", "--red=easy"}).err,
            "zoftrel: --red is given twice; give it once, with one of the levels easy, normal, "
            "hard\n");
}

TEST(Options, HelpAndVersionEndWithCodeZero) {
  Outcome o = Read({"--red=hard", "--help"});
  EXPECT_FALSE(o.run);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out.rfind("Usage: zoftrel [debug] [--red=LEVEL] [--blue=LEVEL]\n", 0), 0u);
  EXPECT_EQ(o.err, "");

  o = Read({"--version", "--red=wrong"});
  EXPECT_FALSE(o.run);
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.out, "Zoftrel version 1.0\n");
}

} // namespace

TEST(Options, NetworkGames) {
  Outcome o = Read({"--host"});
  EXPECT_TRUE(o.run);
  EXPECT_TRUE(o.options.Host);
  EXPECT_EQ(o.options.Port, 38517);
  o = Read({"--host=40000", "--red=hard"});
  EXPECT_TRUE(o.run);
  EXPECT_EQ(o.options.Port, 40000);
  EXPECT_TRUE(o.options.Computer[1]);
  o = Read({"--join=zt1-000102030405060708090a0b0c0d0e0f-38517-192.0.2.7", "--blue=easy"});
  EXPECT_TRUE(o.run);
  EXPECT_TRUE(o.options.Join);
  EXPECT_EQ(o.options.JoinCode.Addresses.at(0), "192.0.2.7");

  const struct {
    std::vector<const char *> args;
    const char *says;
  } faulty[] = {
      {{"--host=0"}, "--host takes a UDP port"},
      {{"--host=65536"}, "--host takes a UDP port"},
      {{"--host=12a"}, "--host takes a UDP port"},
      {{"--host="}, "--host takes a UDP port"},
      {{"--join"}, "none given"},
      {{"--join=zt1-00-1-1.2.3.4"}, "secret"},
      {{"--host", "--join=zt1-000102030405060708090a0b0c0d0e0f-38517-192.0.2.7"}, "give one"},
      {{"--host", "--network"}, "give one"},
      // The other side is the other player's.
      {{"--host", "--blue=hard"}, "--blue belongs to the other player"},
      {{"--join=zt1-000102030405060708090a0b0c0d0e0f-38517-192.0.2.7", "--red=hard"},
       "--red belongs"},
  };
  for (const auto &f : faulty) {
    o = Read(f.args);
    SCOPED_TRACE(f.args[0]);
    EXPECT_FALSE(o.run);
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find(f.says), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);
  }
}
