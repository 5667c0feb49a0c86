#include "tools/drag_events.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace {

bool parseWhole(const std::string& token, long long low, long long high, long long& value) {
    if (token.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(token.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

}  // namespace

bool parseDragEvents(const std::string& text, std::vector<DragEvent>& events, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    uint64_t lastStep = 0;
    auto fail = [&](const std::string& problem) {
        error = "line " + std::to_string(lineNumber) + ": " + problem;
        return false;
    };
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (words.empty() || words[0][0] == '#') continue;
        DragEvent event;
        long long number = 0;
        if (!parseWhole(words[0], 0, LLONG_MAX, number))
            return fail("\"" + words[0] + "\" is not a step number (a whole number from 0)");
        event.step = static_cast<uint64_t>(number);
        if (event.step < lastStep) return fail("step " + words[0] + " comes after step " + std::to_string(lastStep) +
                                               "; list events in step order");
        const std::string& verb = words[1 < words.size() ? 1 : 0];
        size_t expected = 4;
        if (words.size() >= 2 && verb == "press") {
            event.kind = DragEvent::Kind::Press;
        } else if (words.size() >= 2 && verb == "motion") {
            event.kind = DragEvent::Kind::Motion;
        } else if (words.size() >= 2 && verb == "release") {
            event.kind = DragEvent::Kind::Release;
            expected = 2;
        } else {
            return fail("expected \"STEP press X Y\", \"STEP motion X Y\" or \"STEP release\"");
        }
        if (words.size() != expected)
            return fail("\"" + verb + "\" takes " + (expected == 4 ? "two pixel coordinates X Y" : "nothing after it"));
        if (expected == 4) {
            long long x = 0, y = 0;
            if (!parseWhole(words[2], INT_MIN, INT_MAX, x) || !parseWhole(words[3], INT_MIN, INT_MAX, y))
                return fail("pixel coordinates must be whole numbers");
            event.x = static_cast<int>(x);
            event.y = static_cast<int>(y);
        }
        lastStep = event.step;
        events.push_back(event);
    }
    return true;
}
