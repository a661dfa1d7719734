#include "Impairment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

Clock::duration fromMs(double ms) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(ms));
}

// The packet's delay, drawn within the jitter.
Clock::duration drawDelay(const Impairment& impairment, std::mt19937_64& random) {
    const double spread = impairment.delayMs * impairment.jitterShare;
    std::uniform_real_distribution<double> delay(impairment.delayMs - spread,
                                                 impairment.delayMs + spread);
    return fromMs(spread > 0 ? delay(random) : impairment.delayMs);
}

// A number from lo to hi in a word, or false.
bool numberIn(const std::string& word, double lo, double hi, double& value) {
    char* end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return !word.empty() && *end == '\0' && std::isfinite(value) && value >= lo && value <= hi;
}

// The setting a line names, after its direction word, applied to one way.
std::string applyTo(const std::vector<std::string>& words, Direction& way, Clock::time_point now) {
    Impairment& impairment = way.impairment;
    const std::string& verb = words[0];
    double value = 0;
    const bool valued = words.size() >= 2;
    if (verb == "delay" && valued && numberIn(words[1], 0, 60000, value) &&
        (words.size() == 2 || words.size() == 4)) {
        double jitter = 0;
        if (words.size() == 4 && (words[2] != "jitter" || !numberIn(words[3], 0, 100, jitter))) {
            return "error: jitter takes a percentage from 0 to 100";
        }
        impairment.delayMs = value;
        impairment.jitterShare = jitter / 100;
    } else if (verb == "jitter" && words.size() == 2 && numberIn(words[1], 0, 100, value)) {
        impairment.jitterShare = value / 100;
    } else if (verb == "loss" && words.size() == 2 && numberIn(words[1], 0, 100, value)) {
        impairment.lossShare = value / 100;
    } else if (verb == "stall" && words.size() == 2 && numberIn(words[1], 0, 3600000, value)) {
        impairment.stallFrom = now;
        impairment.stallUntil = now + fromMs(value);
    } else if (verb == "reorder" && words.size() == 2 && (words[1] == "on" || words[1] == "off")) {
        impairment.reorder = words[1] == "on";
    } else {
        return "error: not a setting: delay MS [jitter PERCENT], jitter PERCENT, loss PERCENT, "
               "stall MS, reorder on|off";
    }
    return "ok";
}

} // namespace

bool stalledAt(const Impairment& impairment, Clock::time_point time) {
    return time >= impairment.stallFrom && time < impairment.stallUntil;
}

void enter(Direction& way, Packet packet, Clock::time_point now, std::mt19937_64& random) {
    const Impairment& impairment = way.impairment;
    if (stalledAt(impairment, now)) {
        ++way.counts.stalled;
        return;
    }
    if (impairment.lossShare > 0 &&
        std::uniform_real_distribution<double>(0, 1)(random) < impairment.lossShare) {
        ++way.counts.lost;
        return;
    }
    if (way.onTheWay.size() >= QueueRoom) {
        ++way.counts.overflowed;
        return;
    }
    Clock::time_point due = now + drawDelay(impairment, random);
    if (!impairment.reorder) {
        due = std::max(due, way.lastDue);
    }
    way.lastDue = std::max(way.lastDue, due);
    way.onTheWay.emplace(due, std::move(packet));
}

std::string describe(const Impairment& impairment, Clock::time_point now) {
    char text[160];
    const double stallMs =
        stalledAt(impairment, now)
            ? std::chrono::duration<double, std::milli>(impairment.stallUntil - now).count()
            : 0.0;
    std::snprintf(text, sizeof text, "delay %g jitter %g loss %g reorder %s stalled %.0f",
                  impairment.delayMs, impairment.jitterShare * 100, impairment.lossShare * 100,
                  impairment.reorder ? "on" : "off", stallMs);
    return text;
}

std::string applySetting(const std::vector<std::string>& words, Direction ways[2],
                         Clock::time_point now) {
    if (words.size() == 1 && words[0] == "clear") {
        for (int side : {Near, Far}) {
            ways[side].impairment = Impairment{};
        }
        return "ok";
    }
    // the way a direction word names: up leaves the far end, down the near one
    std::vector<Direction*> targets = {&ways[Near], &ways[Far]};
    std::vector<std::string> setting = words;
    if (!words.empty() && (words[0] == "up" || words[0] == "down")) {
        targets = {&ways[words[0] == "up" ? Far : Near]};
        setting.erase(setting.begin());
    }
    if (setting.empty()) {
        return "error: empty setting";
    }
    for (Direction* way : targets) {
        // both ways take the same words: the first answer holds for both
        const std::string answer = applyTo(setting, *way, now);
        if (answer != "ok") {
            return answer;
        }
    }
    return "ok";
}
