// What the neutral converters tell through their message observer while an
// object of this class lives: one "routine: text" line per message.
#pragma once

#include "neutral/neutral_convert.h"

#include <algorithm>
#include <string>
#include <vector>

struct NeutralMessages {
    std::vector<std::string> lines;

    NeutralMessages() { neut_set_message_observer(&NeutralMessages::take, this); }
    ~NeutralMessages() { neut_set_message_observer(nullptr, nullptr); }
    NeutralMessages(const NeutralMessages&) = delete;
    NeutralMessages& operator=(const NeutralMessages&) = delete;

    // How often `routine` told `text`.
    int count(const std::string& routine, const std::string& text) const {
        return int(std::count(lines.begin(), lines.end(), routine + ": " + text));
    }

private:
    static void take(const char* routine, const char* text, void* self) {
        static_cast<NeutralMessages*>(self)->lines.push_back(std::string(routine) + ": " + text);
    }
};
