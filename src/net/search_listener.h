// What the command connections tell the remote search. Installed on the NetSession by the
// search; the session never waits for it.
#pragma once

namespace orvel::net {

class SearchListener {
public:
    virtual ~SearchListener() = default;
    // A day-index reply or recording-day masks were stored. Thread: the connection's reader
    // thread; must return without waiting for the UI thread.
    virtual void day_index_changed() {}
    virtual void recording_days_changed() {}
    // The DVR answered a login made for the search (login mode 2); the prepared camera
    // items and the site record are stored when it was accepted. Thread: UI thread.
    virtual void search_login_answered(bool /*accepted*/) {}
};

}  // namespace orvel::net
