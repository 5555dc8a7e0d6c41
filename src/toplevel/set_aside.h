// Work that sets part of the session's state aside for a while (a
// relation's text read with the relations out of the way) registers a
// SetAside for that time. A command level opened inside the work runs in
// the session's own state: SessionForLevel puts back what the work set
// aside for as long as the level runs, and sets it aside again when the
// level returns into the work, or unwinds through it (the guard's own undo
// then runs from the state it left).
#pragma once
#include <cstddef>
#include <vector>

#include "quoly/modout_suspend.h"

class SetAside {
public:
    SetAside(const SetAside&) = delete;
    SetAside& operator=(const SetAside&) = delete;
    virtual void put_back() = 0;
    // Most work trades its state with the session's, and a trade undoes
    // itself.
    virtual void set_aside_again() { put_back(); }

protected:
    SetAside();
    ~SetAside();

private:
    friend class SessionForLevel;
    SetAside* outer_;
    bool put_back_ = false;
};

class SessionForLevel {
public:
    // Puts back what the work below has set aside that no level below
    // this one put back already: innermost first.
    SessionForLevel();
    // The level returns into the work: set aside again, outermost first.
    void level_left();
    ~SessionForLevel();
    SessionForLevel(const SessionForLevel&) = delete;
    SessionForLevel& operator=(const SessionForLevel&) = delete;

private:
    void set_aside_again();
    std::vector<SetAside*> lifted_;
    SuspensionLifted suspension_;
    size_t calls_below_;
    bool left_ = false;
};
