#include "messaging/TFaxServer.h"

::FaxServer &TFaxServer::DefaultInterface()
{
    if (!m_server)
        m_server = std::make_unique<::FaxServer>(*m_env);
    return *m_server;
}

::FaxDocument &TFaxDocument::DefaultInterface()
{
    if (!m_document)
        m_document = std::make_unique<::FaxDocument>(*m_env);
    return *m_document;
}
