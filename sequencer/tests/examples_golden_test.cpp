// Every example model's variable map sequences to its kept problem file.
#include <gtest/gtest.h>

#include <string>

#include "platform/byte_io.h"
#include "preprocessor/log_writer.h"
#include "sequencer/SEQCU1.h"
#include "sequencer/prb_format.h"

TEST(ExampleProblems, EachMapGivesItsGoldenProblemFile) {
  for (const char* model : {"TANKS", "FIXLOOP", "LAGBANKS", "PLANTS", "CELLS"}) {
    std::string map, golden;
    ASSERT_TRUE(krv::platform::ReadFileBytes(
        std::string(KRV_SOURCE_DIR) + "/examples/golden/" + model + ".VNM", map))
        << model;
    ASSERT_TRUE(krv::platform::ReadFileBytes(
        std::string(KRV_SOURCE_DIR) + "/sequencer/tests/golden/" + model + ".PRB", golden))
        << model;
    krv::pp::LogWriter log;
    std::string prb;
    ASSERT_TRUE(krv::seq::SequenceMap(map, prb, log)) << model << "\n" << log.Text();
    EXPECT_EQ(prb, golden) << model;
    krv::seq::PrbProblem p;
    EXPECT_TRUE(krv::seq::ReadPrb(prb, p).ok) << model;
  }
}

TEST(ExampleProblems, TheRingOfFixloopIsTornOnce) {
  std::string map;
  ASSERT_TRUE(krv::platform::ReadFileBytes(
      std::string(KRV_SOURCE_DIR) + "/examples/golden/FIXLOOP.VNM", map));
  krv::pp::LogWriter log;
  std::string prb;
  ASSERT_TRUE(krv::seq::SequenceMap(map, prb, log));
  EXPECT_EQ(log.Lines().back(), "N=5  TOTAL NONZ=10  UPPER=1  SPIKES=1");
}
