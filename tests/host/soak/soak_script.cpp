#include "soak_script.h"

#include <algorithm>
#include <string>

namespace soak {
namespace {

// splitmix64: fully specified, so a seed gives the same script everywhere (the standard
// library's distributions are not).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) { }

    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // From `low` to `high`, both included.
    int between(int low, int high)
    {
        return low + static_cast<int>(next() % static_cast<uint64_t>(high - low + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }

private:
    uint64_t state_;
};

constexpr int kMinutesPerDay = 24 * 60;
// A Pocket PC battery lasts some 8 hours of use: about one percent every five minutes.
constexpr int kMinutesPerPercent = 5;

class Generator {
public:
    Generator(const Options &options) : options_(options), random_(options.seed) { }

    std::string script()
    {
        line("# " + std::to_string(options_.days) + " days of use, seed " + std::to_string(options_.seed)
             + " (durvo-soak-script)");
        line("clock 2005-06-10 07:00:00");
        line("power 0 1 100");
        line("setting dvLogProcess 1");
        line("setting dvAutoReset " + std::to_string(random_.chance(50) ? 1 : 0));
        line("boot");
        for (int day = 0; day < options_.days; ++day) oneDay(day);
        return text_;
    }

private:
    void line(const std::string &command) { text_ += command + "\n"; }

    void setPower()
    {
        // Battery flag: 1 high, 2 low, 4 critical, 8 charging (with one of them).
        int flag = level_ > 20 ? 1 : level_ > 5 ? 2 : 4;
        if (charging_ && level_ < 100) flag |= 8;
        line("power " + std::to_string(charging_ ? 1 : 0) + " " + std::to_string(flag) + " "
             + std::to_string(level_));
    }

    std::string quoted(const std::string &title) { return "\"" + title + "\""; }

    void otherPrograms()
    {
        const auto &titles = windowTitles();
        if (!open_.empty() && random_.chance(40)) {
            const size_t which = static_cast<size_t>(random_.between(0, static_cast<int>(open_.size()) - 1));
            line((random_.chance(70) ? "close " : "hide ") + quoted(open_[which]));
            open_.erase(open_.begin() + static_cast<long>(which));   // a hidden one is not shown again
        }
        if (open_.size() < 4 && random_.chance(60)) {
            const std::string &title
                = titles[static_cast<size_t>(random_.between(0, static_cast<int>(titles.size()) - 1))];
            line("window " + quoted(title));
            open_.push_back(title);
        }
    }

    void softReset()
    {
        if (random_.chance(30)) line("setting dvForecast " + std::to_string(random_.between(0, 2)));
        if (random_.chance(30)) line("setting dvAutoReset " + std::to_string(random_.between(0, 1)));
        if (random_.chance(20)) line("setting dvOffLevel " + std::to_string(random_.between(0, 15)));
        line("show");
        line("softreset");
        open_.clear();   // a reset ends every program
    }

    // The device in use for `minutes`, the battery draining as it runs.
    int session(int minutes)
    {
        int used = 0;
        while (used < minutes) {
            const int chunk = std::min(minutes - used, random_.between(3, 12));
            otherPrograms();
            line("run " + std::to_string(chunk) + "m");
            used += chunk;
            if (charging_) continue;
            drained_ += chunk;
            if (drained_ >= kMinutesPerPercent && level_ > 3) {
                level_ -= drained_ / kMinutesPerPercent;
                level_ = std::max(level_, 3);
                drained_ %= kMinutesPerPercent;
                if (powerFails_) {
                    line("power fail");
                } else {
                    setPower();
                }
            }
        }
        return used;
    }

    void oneDay(int day)
    {
        line("# day " + std::to_string(day + 1));
        int minutes = 0;
        // Off the charger in the morning, or kept on it for a while.
        charging_ = random_.chance(15);
        powerFails_ = random_.chance(5);
        setPower();
        if (day > 0 && day % 7 == 6 && random_.chance(50)) {
            // A weekend in the drawer: off and not charged.
            line("sleep 40h");
            minutes += 40 * 60;
        }
        if (random_.chance(15)) softReset();
        const int sessions = random_.between(2, 7);
        for (int s = 0; s < sessions && minutes < kMinutesPerDay - 10 * 60; ++s) {
            minutes += session(random_.between(5, 50));
            const int pause = random_.between(10, 150);
            line("sleep " + std::to_string(pause) + "m");
            minutes += pause;
            if (random_.chance(8)) softReset();
        }
        // The evening: on the charger, sometimes still in use while it charges.
        charging_ = true;
        powerFails_ = false;
        setPower();
        if (random_.chance(30)) minutes += session(random_.between(5, 20));
        const int charged = std::min(3 * 60, (100 - level_) * 2 + 10);
        line("sleep " + std::to_string(charged) + "m");
        minutes += charged;
        level_ = 100;
        setPower();
        // To the next morning (the day's minutes may run past midnight after a weekend).
        const int rest = kMinutesPerDay - minutes % kMinutesPerDay;
        line("sleep " + std::to_string(rest) + "m");
    }

    Options options_;
    Random random_;
    std::string text_;
    std::vector<std::string> open_;
    int level_ = 100;
    int drained_ = 0;
    bool charging_ = false;
    bool powerFails_ = false;
};

}   // namespace

const std::vector<std::string> &windowTitles()
{
    static const std::vector<std::string> titles = {
        "Calculator",
        "Notes # draft",
        "Pocket Word - Brief.psw",
        "Kalender \xE2\x80\x93 Woche 24",
        "\xD0\x97\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8",
        "\xE6\x97\xA5\xE8\xA8\x98",
        "Solitaire",
        "Inbox (3)",
    };
    return titles;
}

std::string generateScript(const Options &options)
{
    return Generator(options).script();
}

}   // namespace soak
