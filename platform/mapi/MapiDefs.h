#pragma once

#include <QByteArray>
#include <QString>
#include <QVarLengthArray>
#include <QtGlobal>
#include <memory>
#include <vector>

// Extended MAPI's types, codes and property tags as the tracking components
// use them. Values are the platform's own, so code written against the
// real interface reads the same here.

using HRESULT = qint32;
using ULONG = quint32;
using LONG = qint32;

constexpr bool HR_FAILED(HRESULT hr)
{
    return hr < 0;
}
constexpr bool HR_SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT MAPI_W_ERRORS_RETURNED = 0x00040380;
constexpr HRESULT MAPI_E_CALL_FAILED = HRESULT(0x80004005u);
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT MAPI_E_INVALID_PARAMETER = HRESULT(0x80070057u);
constexpr HRESULT MAPI_E_NO_ACCESS = HRESULT(0x80070005u);
constexpr HRESULT MAPI_E_NO_SUPPORT = HRESULT(0x80040102u);
constexpr HRESULT MAPI_E_BAD_CHARWIDTH = HRESULT(0x80040103u);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = HRESULT(0x80040107u);
constexpr HRESULT MAPI_E_INVALID_OBJECT = HRESULT(0x80040108u);
constexpr HRESULT MAPI_E_NOT_FOUND = HRESULT(0x8004010Fu);
constexpr HRESULT MAPI_E_LOGON_FAILED = HRESULT(0x80040111u);
constexpr HRESULT MAPI_E_USER_CANCEL = HRESULT(0x80040113u);
constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = HRESULT(0x80040700u);
constexpr HRESULT MAPI_E_UNCONFIGURED = HRESULT(0x8004011Cu);
constexpr HRESULT MAPI_E_TOO_BIG = HRESULT(0x80040305u);
constexpr HRESULT MAPI_E_NOT_INITIALIZED = HRESULT(0x80040605u);
constexpr HRESULT STG_E_INVALIDFUNCTION = HRESULT(0x80030001u);
constexpr HRESULT STG_E_READFAULT = HRESULT(0x8003001Eu);
constexpr HRESULT STG_E_WRITEFAULT = HRESULT(0x8003001Du);

// Property types and tags.
constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_OBJECT = 0x000D;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_BINARY = 0x0102;

constexpr ULONG PROP_TAG(ULONG type, ULONG id)
{
    return (id << 16) | type;
}
constexpr ULONG PROP_TYPE(ULONG tag)
{
    return tag & 0xFFFF;
}
constexpr ULONG PROP_ID(ULONG tag)
{
    return tag >> 16;
}
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type)
{
    return (tag & 0xFFFF0000u) | type;
}

constexpr ULONG PR_NULL = PROP_TAG(PT_NULL, 0x0000);
constexpr ULONG PR_SUBJECT = PROP_TAG(PT_STRING8, 0x0037);
constexpr ULONG PR_SENT_REPRESENTING_NAME = PROP_TAG(PT_STRING8, 0x0042);
constexpr ULONG PR_RECIPIENT_TYPE = PROP_TAG(PT_LONG, 0x0C15);
constexpr ULONG PR_DISPLAY_TO = PROP_TAG(PT_STRING8, 0x0E04);
constexpr ULONG PR_MESSAGE_DELIVERY_TIME = PROP_TAG(PT_SYSTIME, 0x0E06);
constexpr ULONG PR_MESSAGE_FLAGS = PROP_TAG(PT_LONG, 0x0E07);
constexpr ULONG PR_MESSAGE_SIZE = PROP_TAG(PT_LONG, 0x0E08);
constexpr ULONG PR_ATTACH_NUM = PROP_TAG(PT_LONG, 0x0E21);
constexpr ULONG PR_ENTRYID = PROP_TAG(PT_BINARY, 0x0FFF);
constexpr ULONG PR_OBJECT_TYPE = PROP_TAG(PT_LONG, 0x0FFE);
constexpr ULONG PR_BODY = PROP_TAG(PT_STRING8, 0x1000);
constexpr ULONG PR_DISPLAY_NAME = PROP_TAG(PT_STRING8, 0x3001);
constexpr ULONG PR_EMAIL_ADDRESS = PROP_TAG(PT_STRING8, 0x3003);
constexpr ULONG PR_COMMENT = PROP_TAG(PT_STRING8, 0x3004);
constexpr ULONG PR_DEFAULT_STORE = PROP_TAG(PT_BOOLEAN, 0x3400);
constexpr ULONG PR_IPM_SUBTREE_ENTRYID = PROP_TAG(PT_BINARY, 0x35E0);
constexpr ULONG PR_IPM_OUTBOX_ENTRYID = PROP_TAG(PT_BINARY, 0x35E2);
constexpr ULONG PR_IPM_WASTEBASKET_ENTRYID = PROP_TAG(PT_BINARY, 0x35E3);
constexpr ULONG PR_IPM_SENTMAIL_ENTRYID = PROP_TAG(PT_BINARY, 0x35E4);
constexpr ULONG PR_FOLDER_TYPE = PROP_TAG(PT_LONG, 0x3601);
constexpr ULONG PR_ATTACH_DATA_BIN = PROP_TAG(PT_BINARY, 0x3701);
constexpr ULONG PR_ATTACH_DATA_OBJ = PROP_TAG(PT_OBJECT, 0x3701);
constexpr ULONG PR_ATTACH_EXTENSION = PROP_TAG(PT_STRING8, 0x3703);
constexpr ULONG PR_ATTACH_FILENAME = PROP_TAG(PT_STRING8, 0x3704);
constexpr ULONG PR_ATTACH_METHOD = PROP_TAG(PT_LONG, 0x3705);
constexpr ULONG PR_ATTACH_LONG_FILENAME = PROP_TAG(PT_STRING8, 0x3707);
constexpr ULONG PR_ATTACH_PATHNAME = PROP_TAG(PT_STRING8, 0x3708);
constexpr ULONG PR_RENDERING_POSITION = PROP_TAG(PT_LONG, 0x370B);
constexpr ULONG PR_RESOURCE_TYPE = PROP_TAG(PT_LONG, 0x3E03);

// Object types OpenEntry reports.
constexpr ULONG MAPI_STORE = 0x1;
constexpr ULONG MAPI_ADDRBOOK = 0x2;
constexpr ULONG MAPI_FOLDER = 0x3;
constexpr ULONG MAPI_MESSAGE = 0x5;
constexpr ULONG MAPI_ATTACH = 0x7;
constexpr ULONG MAPI_STATUS = 0x8;

// Logon, logoff, open and save flags.
constexpr ULONG MAPI_LOGON_UI = 0x1;
constexpr ULONG MAPI_NEW_SESSION = 0x2;
constexpr ULONG MAPI_ALLOW_OTHERS = 0x8;
constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x10;
constexpr ULONG MAPI_EXTENDED = 0x20;
constexpr ULONG MAPI_USE_DEFAULT = 0x40;
constexpr ULONG MAPI_FORCE_DOWNLOAD = 0x1000;
constexpr ULONG MAPI_SERVICE_UI_ALWAYS = 0x2000;
constexpr ULONG MAPI_NO_MAIL = 0x8000;
constexpr ULONG MAPI_NT_SERVICE = 0x10000;
constexpr ULONG MAPI_PASSWORD_UI = 0x20000;
constexpr ULONG MAPI_TIMEOUT_SHORT = 0x100000;
constexpr ULONG MAPI_LOGOFF_SHARED = 0x1;
constexpr ULONG MAPI_LOGOFF_UI = 0x2;
constexpr ULONG MAPI_MULTITHREAD_NOTIFICATIONS = 0x1;
constexpr ULONG MAPI_MODIFY = 0x1;
constexpr ULONG MAPI_CREATE = 0x2;
constexpr ULONG MAPI_BEST_ACCESS = 0x10;
constexpr ULONG MDB_WRITE = 0x4;
constexpr ULONG KEEP_OPEN_READONLY = 0x1;
constexpr ULONG KEEP_OPEN_READWRITE = 0x2;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;
constexpr ULONG MAPI_SPOOLER = 37;
constexpr ULONG ATTACH_BY_VALUE = 1;

// Message flag bits.
constexpr ULONG MSGFLAG_READ = 0x1;
constexpr ULONG MSGFLAG_UNMODIFIED = 0x2;
constexpr ULONG MSGFLAG_SUBMIT = 0x4;
constexpr ULONG MSGFLAG_UNSENT = 0x8;
constexpr ULONG MSGFLAG_HASATTACH = 0x10;
constexpr ULONG MSGFLAG_FROMME = 0x20;
constexpr ULONG MSGFLAG_ASSOCIATED = 0x40;
constexpr ULONG MSGFLAG_RESEND = 0x80;
constexpr ULONG MSGFLAG_RN_PENDING = 0x100;
constexpr ULONG MSGFLAG_NRN_PENDING = 0x200;

// Stream access and seek origins, the same numbers as the platform's.
constexpr ULONG STGM_READ = 0x0;
constexpr ULONG STGM_WRITE = 0x1;
constexpr ULONG STGM_READWRITE = 0x2;
constexpr ULONG STGM_CREATE = 0x1000;
constexpr ULONG STREAM_SEEK_SET = 0;
constexpr ULONG STREAM_SEEK_CUR = 1;
constexpr ULONG STREAM_SEEK_END = 2;
constexpr ULONG STATFLAG_NONAME = 1;

constexpr ULONG MAPI_UNICODE = 0x80000000u;

// A FILETIME: 100-nanosecond units since 1 January 1601, UTC.
using FILETIME = quint64;

// One property value. Text properties (PT_STRING8) carry their text as
// the rest of the program does, in a QString; an error value (PT_ERROR)
// carries its code in err.
struct SPropValue {
    ULONG ulPropTag = PR_NULL;
    union {
        LONG l;
        bool b;
        FILETIME ft;
        HRESULT err;
    } Value{};
    QString str;    // PT_STRING8
    QByteArray bin; // PT_BINARY

    static SPropValue ofLong(ULONG tag, LONG v)
    {
        SPropValue p;
        p.ulPropTag = tag;
        p.Value.l = v;
        return p;
    }
    static SPropValue ofBool(ULONG tag, bool v)
    {
        SPropValue p;
        p.ulPropTag = tag;
        p.Value.b = v;
        return p;
    }
    static SPropValue ofTime(ULONG tag, FILETIME v)
    {
        SPropValue p;
        p.ulPropTag = tag;
        p.Value.ft = v;
        return p;
    }
    static SPropValue ofString(ULONG tag, QString v)
    {
        SPropValue p;
        p.ulPropTag = tag;
        p.str = std::move(v);
        return p;
    }
    static SPropValue ofBinary(ULONG tag, QByteArray v)
    {
        SPropValue p;
        p.ulPropTag = tag;
        p.bin = std::move(v);
        return p;
    }
    // The value a table or GetProps gives for a property it does not have.
    static SPropValue missing(ULONG tag, HRESULT why = MAPI_E_NOT_FOUND)
    {
        SPropValue p;
        p.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
        p.Value.err = why;
        return p;
    }
};

// What the platform hands out and the caller frees: rows, property arrays,
// address lists. Freed with MAPIFreeBuffer / FreeProws / FreePadrlist.
struct MapiBuffer {
    virtual ~MapiBuffer() = default;
    std::vector<std::unique_ptr<MapiBuffer>> more; // MAPIAllocateMore's, freed with this one
};

struct MapiBytes : MapiBuffer {
    QByteArray data;
};

struct SPropTagArray {
    std::vector<ULONG> aulPropTag;
    ULONG cValues() const { return ULONG(aulPropTag.size()); }
};

// A property read holds its values in place: reading one property per
// listed message costs no allocation besides the buffer itself.
struct SPropArray : MapiBuffer {
    QVarLengthArray<SPropValue, 2> lpProps;
};

struct SRow {
    std::vector<SPropValue> lpProps;
    ULONG cValues() const { return ULONG(lpProps.size()); }
};

struct SRowSet : MapiBuffer {
    std::vector<SRow> aRow;
    ULONG cRows() const { return ULONG(aRow.size()); }
};

// An address list: one entry per recipient, each a row of properties.
struct ADRENTRY {
    std::vector<SPropValue> rgPropVals;
};
struct ADRLIST : MapiBuffer {
    std::vector<ADRENTRY> aEntries;
    ULONG cEntries() const { return ULONG(aEntries.size()); }
};

// Restrictions: what HrQueryAllRows uses, a property compared with a value.
constexpr ULONG RES_AND = 0;
constexpr ULONG RES_PROPERTY = 4;
constexpr ULONG RELOP_EQ = 4;
constexpr ULONG RELOP_NE = 5;

struct SRestriction {
    ULONG rt = RES_PROPERTY;
    ULONG relop = RELOP_EQ;
    ULONG ulPropTag = PR_NULL;
    SPropValue value;
    std::vector<SRestriction> sub; // RES_AND
};

struct SSortOrderSet {
    // The tables here keep their own order; a sort order is refused.
};

struct STATSTG {
    quint64 cbSize = 0;
};

// Interface identifiers: which interface OpenEntry or OpenProperty is
// asked for. Null asks for the object's default one.
enum class IID { Default, IMAPIFolder, IMessage, IMAPIStatus, IStream, IAttachment };
