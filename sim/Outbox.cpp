#include "Outbox.h"

void Outbox::Add(int channel, const sockaddr_in &peer, ScheduledWrite write) {
    pending.emplace(write.due, Delivery{channel, peer, std::move(write.bytes)});
}

std::optional<Outbox::Clock::time_point> Outbox::NextDue() const {
    if (pending.empty())
        return std::nullopt;
    return pending.begin()->first;
}

std::vector<Delivery> Outbox::TakeDue(Clock::time_point now) {
    std::vector<Delivery> due;
    auto it = pending.begin();
    while (it != pending.end() && it->first <= now) {
        due.push_back(std::move(it->second));
        it = pending.erase(it);
    }
    return due;
}

void Outbox::DropChannel(int channel) {
    for (auto it = pending.begin(); it != pending.end();) {
        it = it->second.channel == channel ? pending.erase(it) : std::next(it);
    }
}
