#include "tracking/MapiSentItems.h"

#include "tracking/MapiSession.h"

MapiSentItems::MapiSentItems(Environment &env) : m_session(std::make_unique<TMAPISession>(env)) {}

MapiSentItems::MapiSentItems(std::unique_ptr<TMAPISession> session) : m_session(std::move(session)) {}

MapiSentItems::~MapiSentItems() = default;

void MapiSentItems::activate()
{
    m_session->setActive(true);
}

int MapiSentItems::count() const
{
    // Without a logon the standard folders hold nothing.
    return m_session->SENTBOX()->Messages().Count();
}

bool MapiSentItems::hasMessageObject(int position) const
{
    const TMAPIMessage *m = m_session->SENTBOX()->Messages().Items(position);
    return m && m->messageObject();
}

QString MapiSentItems::displayTo(int position) const
{
    return GetStringProperty(m_session->SENTBOX()->Messages().Items(position)->messageObject().get(),
                             PR_DISPLAY_TO);
}

QDateTime MapiSentItems::deliveryTime(int position) const
{
    return m_session->SENTBOX()->Messages().Items(position)->MessageDeliveryTime();
}
