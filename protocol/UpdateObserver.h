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
