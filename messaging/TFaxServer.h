#pragma once

// The program's handles on the fax service's server and document objects.
// Each reaches its object on first use; a service that cannot be reached
// throws EFaxError then.

#include "platform/fax/FaxService.h"

#include <memory>

class Environment;

class TFaxServer {
public:
    // ProgID under which the program knows the service's server.
    static constexpr const char *ProgID = "FaxServer.FaxServer";

    explicit TFaxServer(Environment &env) : m_env(&env) {}

    ::FaxServer &DefaultInterface();
    void Connect(const QString &serverName) { DefaultInterface().Connect(serverName); }
    FaxFolders &Folders() { return DefaultInterface().Folders(); }

private:
    Environment *m_env;
    std::unique_ptr<::FaxServer> m_server;
};

class TFaxDocument {
public:
    explicit TFaxDocument(Environment &env) : m_env(&env) {}

    ::FaxDocument &DefaultInterface();
    ::FaxDocument *operator->() { return &DefaultInterface(); }
    QStringList ConnectedSubmit(TFaxServer &server)
    {
        return DefaultInterface().ConnectedSubmit(server.DefaultInterface());
    }

private:
    Environment *m_env;
    std::unique_ptr<::FaxDocument> m_document;
};
