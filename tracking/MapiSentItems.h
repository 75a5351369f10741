#pragma once

#include "tracking/EmailArchiveList.h"

#include <memory>

class Environment;
class TMAPISession;

// The e-mail list's sent items, read through the window's own message store
// session: logged on at the first refresh and kept for the run, so later
// refreshes filter the list read then.
class MapiSentItems final : public SentItemsSource {
public:
    explicit MapiSentItems(Environment &env);
    // Over a session made elsewhere (a store in another folder).
    explicit MapiSentItems(std::unique_ptr<TMAPISession> session);
    ~MapiSentItems() override;

    TMAPISession &MAPISession() { return *m_session; }

    void activate() override;
    int count() const override;
    bool hasMessageObject(int position) const override;
    QString displayTo(int position) const override;
    QDateTime deliveryTime(int position) const override;

private:
    std::unique_ptr<TMAPISession> m_session;
};
