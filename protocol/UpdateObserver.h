#pragma once

#include "protocol/UpdateOutcome.h"

// What a front end hears of an update while it runs. Every call comes on the
// thread running the update, between the reports it sends.
class UpdateObserver
{
public:
    virtual ~UpdateObserver() = default;
    virtual void stepStarted(UpdateStep step) { (void)step; }
    // The erase's reply was read: something came back, or nothing did.
    virtual void eraseAnswered(bool replied) { (void)replied; }
    // The data phase begins: this many data records in this many reports.
    virtual void dataStarted(int records, int reports)
    {
        (void)records;
        (void)reports;
    }
    // A data record was placed in its block (before the block is sent).
    virtual void recordPlaced() { }
    // A data block went out whole: `sent` of the image's `total` data reports.
    virtual void reportsSent(int sent, int total)
    {
        (void)sent;
        (void)total;
    }
};

// Passes everything on to the observer behind it, when there is one. A front
// end derives from it, adds its own reaction to what it cares about, and
// calls the base so the observer behind it (a command line's report) hears
// every step too.
class ObserverChain : public UpdateObserver
{
public:
    explicit ObserverChain(UpdateObserver* next)
        : next_(next != nullptr ? next : &none_)
    {
    }
    void stepStarted(UpdateStep step) override { next_->stepStarted(step); }
    void eraseAnswered(bool replied) override { next_->eraseAnswered(replied); }
    void dataStarted(int records, int reports) override { next_->dataStarted(records, reports); }
    void recordPlaced() override { next_->recordPlaced(); }
    void reportsSent(int sent, int total) override { next_->reportsSent(sent, total); }

private:
    UpdateObserver none_;
    UpdateObserver* next_;
};
