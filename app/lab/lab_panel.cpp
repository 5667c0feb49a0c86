#include "app/lab/lab_panel.h"

#include <imgui.h>

#include <cinttypes>

#include "body/scene.h"

namespace plumfold {
namespace {

const ImVec4 warning{1.0f, 0.45f, 0.35f, 1.0f};
const ImVec4 good{0.5f, 0.9f, 0.5f, 1.0f};

void status(Lab& lab) {
    uint64_t steps = lab.steering.step - lab.restartStep;
    ImGui::Text("%s  step %" PRIu64 "  t = %.3f", lab.paused ? "PAUSED " : "running", steps,
                static_cast<double>(steps) * static_cast<double>(timeStep));
    if (!lab.alarm.empty()) ImGui::TextColored(warning, "%s", lab.alarm.c_str());
    if (lab.replay != nullptr) {
        const char* state = replaying(lab) ? "replaying" : "replay finished";
        if (lab.replayVerdict.empty())
            ImGui::TextColored(good, "%s: %" PRIu64 " checkpoints match", state, lab.replayChecked);
        else ImGui::TextColored(warning, "%s: %s", state, lab.replayVerdict.c_str());
    }
}

void model(const Lab& lab) {
    const PressureBody& body = *lab.body;
    BodyReadings r = readBody(body, lab.bodyPoints, lab.bodySprings);
    // The forces see the 1.998 measure and p = nRT / measure, so p * measure is nRT.
    double pressure = static_cast<double>(body.pressureConstant) * body.inverseVolume;
    ImGui::Text("volume V %.3f  (1.998 V %.3f)", body.volume / 1.998, static_cast<double>(body.volume));
    ImGui::Text("pressure p = nRT/V %.1f", pressure);
    ImGui::Text("p V %.1f  (nRT %.1f)", pressure * body.volume, static_cast<double>(body.pressureConstant));
    ImGui::Text("kinetic %.0f  spring %.0f", r.kinetic, r.elastic);
    ImGui::Text("gravity %.0f  sum %.0f", r.gravitational, r.total());
    ImGui::Text("strain %+.4f .. %+.4f", r.leastStrain, r.greatestStrain);
    ImGui::Text("stretch-limit corrections %d", body.lastStretchCorrections());
}

void speed(const LabTiming& timing) {
    ImGui::Text("%.1f us/step  %.0f steps/s", timing.microsPerStep, timing.stepsPerSecond);
    ImGui::Text("%.0f fps  panel %.3f ms/frame", timing.framesPerSecond, timing.panelMillis);
}

void plot(const Lab& lab) {
    const Plot& p = lab.plot;
    int offset = p.filled == plotSamples ? static_cast<int>(p.next) : 0;
    int count = static_cast<int>(p.filled);
    ImVec2 size{0.0f, 40.0f};
    ImGui::PlotLines("volume", p.volume.data(), count, offset, "last 5 s", FLT_MAX, FLT_MAX, size);
    ImGui::PlotLines("energy", p.energy.data(), count, offset, nullptr, FLT_MAX, FLT_MAX, size);
}

void tuning(Lab& lab) {
    struct Slider {
        Parameter parameter;
        const char* label;
        float low, high;
        const char* format;
    };
    const Slider sliders[] = {{Parameter::Nrt, "nRT", 0.0f, 5e6f, "%.0f"},
                              {Parameter::Stiffness, "stiffness", 1000.0f, 400000.0f, "%.0f"},
                              {Parameter::Damping, "damping", 0.0f, 500.0f, "%.1f"},
                              {Parameter::Gravity, "gravity y", -2000.0f, 0.0f, "%.0f"},
                              {Parameter::Mass, "point mass", 0.1f, 10.0f, "%.2f"}};
    bool locked = replaying(lab);
    if (locked) ImGui::BeginDisabled();
    for (const Slider& s : sliders) {
        float value = tuned(lab.steering.tuning, s.parameter);
        if (ImGui::SliderFloat(s.label, &value, s.low, s.high, s.format)) tune(lab, s.parameter, value);
    }
    if (ImGui::Button("scene values")) useSceneValues(lab);
    if (locked) ImGui::EndDisabled();
    ImGui::SameLine();
    if (tunedAwayFromScene(lab)) ImGui::TextColored(warning, "TUNED");
    else ImGui::Text("the scene's values");
    bool realTime = lab.realTime;
    if (ImGui::Checkbox("real time", &realTime)) {
        lab.realTime = realTime;
        lab.clock.running = false;
    }
}

}  // namespace

PanelArea drawPanel(Lab& lab, const LabTiming& timing) {
    ImGui::SetNextWindowPos(ImVec2(4, 4), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowBgAlpha(0.8f);
    ImGui::Begin("Plumfold Lab", nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PushItemWidth(150.0f);
    status(lab);
    ImGui::Separator();
    model(lab);
    plot(lab);
    ImGui::Separator();
    tuning(lab);
    ImGui::Separator();
    speed(timing);
    ImGui::TextDisabled("P/Space pause  N step  R restart");
    ImGui::TextDisabled("H panel  Esc quit");
    ImGui::PopItemWidth();
    ImVec2 at = ImGui::GetWindowPos();
    ImVec2 size = ImGui::GetWindowSize();
    ImGui::End();
    return PanelArea{at.x, at.y, at.x + size.x, at.y + size.y};
}

}  // namespace plumfold
