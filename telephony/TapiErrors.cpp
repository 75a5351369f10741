#include "telephony/TapiErrors.h"

namespace {
struct CodeName {
    LONG code;
    const char *name;
    const char *meaning;
};
const CodeName kCodes[] = {
    {LINEERR_ALLOCATED, "LINEERR_ALLOCATED", "the line is in use by another program"},
    {LINEERR_BADDEVICEID, "LINEERR_BADDEVICEID", "there is no such line device"},
    {LINEERR_CALLUNAVAIL, "LINEERR_CALLUNAVAIL", "no call can be placed now"},
    {LINEERR_INCOMPATIBLEAPIVERSION, "LINEERR_INCOMPATIBLEAPIVERSION", "the line does not speak TAPI 1.4"},
    {LINEERR_INIFILECORRUPT, "LINEERR_INIFILECORRUPT", "the telephony configuration is damaged"},
    {LINEERR_INUSE, "LINEERR_INUSE", "the line is busy with another call"},
    {LINEERR_INVALADDRESS, "LINEERR_INVALADDRESS", "the number cannot be dialled"},
    {LINEERR_INVALAPPHANDLE, "LINEERR_INVALAPPHANDLE", "telephony is not initialised"},
    {LINEERR_INVALCALLHANDLE, "LINEERR_INVALCALLHANDLE", "there is no such call"},
    {LINEERR_INVALCALLSTATE, "LINEERR_INVALCALLSTATE", "the call is not in a state that allows this"},
    {LINEERR_INVALLINEHANDLE, "LINEERR_INVALLINEHANDLE", "the line is not open"},
    {LINEERR_INVALMEDIAMODE, "LINEERR_INVALMEDIAMODE", "the line does not offer this media mode"},
    {LINEERR_NODEVICE, "LINEERR_NODEVICE", "the line has no such device"},
    {LINEERR_NODRIVER, "LINEERR_NODRIVER", "the telephony driver is missing"},
    {LINEERR_NOMEM, "LINEERR_NOMEM", "out of memory"},
    {LINEERR_OPERATIONFAILED, "LINEERR_OPERATIONFAILED", "the operation failed"},
    {LINEERR_OPERATIONUNAVAIL, "LINEERR_OPERATIONUNAVAIL", "the line does not offer this operation"},
    {LINEERR_RESOURCEUNAVAIL, "LINEERR_RESOURCEUNAVAIL", "the telephony service is out of resources"},
    {LINEERR_STRUCTURETOOSMALL, "LINEERR_STRUCTURETOOSMALL", "a buffer was too small"},
    {LINEERR_REINIT, "LINEERR_REINIT", "the telephony service asks to be restarted"},
};
} // namespace

QString ETapiLineError::codeName(LONG code)
{
    for (const CodeName &c : kCodes)
        if (c.code == code)
            return QString::fromLatin1(c.name) + " (" + QString::fromLatin1(c.meaning) + ")";
    return QStringLiteral("error 0x%1").arg(quint32(code), 8, 16, QLatin1Char('0'));
}

ETapiLineError::ETapiLineError(LONG code, const QString &function)
    : ETapiException(code, QStringLiteral("Telephony error in %1: %2").arg(function, codeName(code)))
{
}
