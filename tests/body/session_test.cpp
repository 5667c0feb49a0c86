// Sessions: the file format read and written back, tuning between steps, and
// replays held to the recorded golden trajectories.
#include <gtest/gtest.h>

#include "body/session.h"
#include "body/sha256.h"
#include "tests/support/bodies.h"
#include "tests/support/process.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

TEST(Sha256, KnownDigests) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // the padding spills into a second block
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}};
    for (const auto& [bytes, digest] : cases) EXPECT_EQ(sha256Hex(bytes), digest) << bytes.size();
}

TEST(SessionFile, EveryEntryReadsBackAsItWasWritten) {
    const std::string text =
        "plumfold-session 1\nmesh " + std::string(64, 'e') +
        " my bodies/ball.asc\n"
        "0 press 300 300\n5 motion -20 70 400 200\n7 release\n7 set nrt 1826320.12\n"
        "9 set gravity -0.00012345679\n9 set mass 1.40129846e-45\n12 restart\n12 pause\n12 single\n13 checksum "
        "0123456789abcdef\n13 resume\n";
    Session session;
    ASSERT_EQ(parseSession(text, session), "");
    EXPECT_EQ(session.meshPath, "my bodies/ball.asc");
    std::string written = formatHeader(session.meshSha256, session.meshPath) + "\n";
    for (const SessionEntry& entry : session.entries) written += formatEntry(entry) + "\n";
    EXPECT_EQ(written, text);
}

// Tuning writes the records that every step reads: a tuned body steps exactly
// like one built with those values, and the drag keeps its own constants.
TEST(SessionTuning, StepsLikeABodyBuiltWithTheTunedValues) {
    const MeshData mesh = makeIcosphere(1, 2.0f);
    const Tuning tuning{1.5e6f, 90000.0f, 70.0f, -320.0f, 1.75f};
    PressureBody built = bodyFromMesh(mesh, BodyParams{{}, 0.9f, tuning.mass, tuning.stiffness, tuning.damping});
    built.pressureConstant = tuning.nrt;
    built.gravity = Vector3{0, tuning.gravity, 0};
    PressureBody tuned = sceneBody(mesh);
    DragState drag;
    pressDrag(tuned, drag, 300, 200, 600, 600);
    applyTuning(tuned, drag, tuning);
    EXPECT_EQ(tuned.springs.back().stiffness, dragStiffness);
    EXPECT_EQ(tuned.points.back().mass, 0.0f);
    releaseDrag(tuned, drag);
    for (int step = 0; step < 300; ++step) {
        simulationStep(built);
        simulationStep(tuned);
    }
    EXPECT_EQ(stateChecksum(tuned), stateChecksum(built));
}

// The golden drag trajectory as a recording, then a restart: 1000 steps after
// it the body is where the plain scene is after 1000 steps.
TEST(SessionReplay, MatchesTheGoldenTrajectoriesAndNamesTheFirstDivergence) {
    const std::string folder = PLUMFOLD_SOURCE_DIR "/tests/data/golden/";
    const std::string meshPath = folder + "ico2.asc";
    const MeshFile mesh = plumfold::readMeshFile(meshPath.c_str()).mesh;
    std::string recording = "plumfold-session 1\nmesh " + sha256Hex(readFile(meshPath)) + " ico2.asc\n" +
                            readFile(folder + "drag.events") +
                            "2000 checksum 4716cc3dcce02eba\n2000 restart\n3000 checksum eb92f18b89f4bb35\n";
    recording.insert(recording.find("600 release"), "400 checksum 53b6559c829143fc\n");
    Session session;
    ASSERT_EQ(parseSession(recording, session), "");
    Verdict verdict = verifySession(session, mesh);
    EXPECT_FALSE(verdict.diverged);
    EXPECT_EQ(verdict.checkpoints, 3u);

    session.entries.back().checksum ^= 1;
    verdict = verifySession(session, mesh);
    EXPECT_TRUE(verdict.diverged);
    EXPECT_EQ(verdict.checkpoints, 2u);
    EXPECT_EQ(verdict.step, 3000u);
    EXPECT_EQ(verdict.want, 0xeb92f18b89f4bb34u);
    EXPECT_EQ(verdict.got, 0xeb92f18b89f4bb35u);
}
