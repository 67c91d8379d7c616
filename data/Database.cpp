#include "data/Database.h"

#include <firebird/Interface.h>
#include <ibase.h>

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

using namespace Firebird;

namespace {

IMaster* master()
{
    static IMaster* m = [] {
        vaccoraPrepareFirebirdEnvironment();
        return fb_get_master_interface();
    }();
    return m;
}

IUtil* util() { return master()->getUtilInterface(); }

// Status wrapper that owns its status object.
class Status : public ThrowStatusWrapper {
public:
    Status() : ThrowStatusWrapper(master()->getStatus()) {}
    ~Status() { dispose(); }
};

std::string errorText(const FbException& e)
{
    char buf[2048];
    util()->formatStatus(buf, sizeof buf, e.getStatus());
    return buf;
}

[[noreturn]] void rethrow(const FbException& e)
{
    const intptr_t* v = e.getStatus()->getErrors();
    int code = 0;
    if (v) code = isc_sqlcode(v);
    throw EDatabaseError(errorText(e), code);
}

constexpr int kDateBase = 40587;  // ISC_DATE of 1970-01-01 (days since 1858-11-17)

TFieldType fieldTypeOf(unsigned sqlType, int scale)
{
    switch (sqlType) {
    case SQL_SHORT: return scale ? TFieldType::ftFloat : TFieldType::ftSmallint;
    case SQL_LONG: return scale ? TFieldType::ftFloat : TFieldType::ftInteger;
    case SQL_INT64: return scale ? TFieldType::ftFloat : TFieldType::ftLargeint;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return TFieldType::ftFloat;
    case SQL_TEXT:
    case SQL_VARYING: return TFieldType::ftString;
    case SQL_TIMESTAMP: return TFieldType::ftDateTime;
    case SQL_TYPE_DATE: return TFieldType::ftDate;
    case SQL_TYPE_TIME: return TFieldType::ftTime;
    case SQL_BLOB: return TFieldType::ftBlob;
    case SQL_BOOLEAN: return TFieldType::ftBoolean;
    default: return TFieldType::ftUnknown;
    }
}

QDate iscToDate(ISC_DATE d) { return QDate(1970, 1, 1).addDays(qint64(d) - kDateBase); }
ISC_DATE dateToIsc(const QDate& d) { return ISC_DATE(QDate(1970, 1, 1).daysTo(d) + kDateBase); }
QTime iscToTime(ISC_TIME t) { return QTime(0, 0).addMSecs(int(t / 10)); }
ISC_TIME timeToIsc(const QTime& t) { return ISC_TIME(QTime(0, 0).msecsTo(t)) * 10; }

// One message buffer laid out by a metadata object.
struct ColumnDesc {
    unsigned type = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
    unsigned charset = 0;
    QString name;
};

std::vector<ColumnDesc> describe(Status& st, IMessageMetadata* md)
{
    std::vector<ColumnDesc> cols(md->getCount(&st));
    for (unsigned i = 0; i < cols.size(); ++i) {
        ColumnDesc& c = cols[i];
        c.type = md->getType(&st, i) & ~1u;
        c.scale = md->getScale(&st, i);
        c.length = md->getLength(&st, i);
        c.offset = md->getOffset(&st, i);
        c.nullOffset = md->getNullOffset(&st, i);
        c.charset = md->getCharSet(&st, i);
        c.name = QString::fromUtf8(md->getAlias(&st, i));
    }
    return cols;
}

double scaled(long long v, int scale)
{
    double r = double(v);
    for (int i = 0; i < -scale; ++i) r /= 10.0;
    for (int i = 0; i < scale; ++i) r *= 10.0;
    return r;
}

QVariant readColumn(const ColumnDesc& c, const unsigned char* buf)
{
    if (*reinterpret_cast<const short*>(buf + c.nullOffset)) return QVariant();
    const unsigned char* p = buf + c.offset;
    switch (c.type) {
    case SQL_SHORT: {
        short v; std::memcpy(&v, p, sizeof v);
        return c.scale ? QVariant(scaled(v, c.scale)) : QVariant(int(v));
    }
    case SQL_LONG: {
        ISC_LONG v; std::memcpy(&v, p, sizeof v);
        return c.scale ? QVariant(scaled(v, c.scale)) : QVariant(int(v));
    }
    case SQL_INT64: {
        ISC_INT64 v; std::memcpy(&v, p, sizeof v);
        return c.scale ? QVariant(scaled(v, c.scale)) : QVariant(qlonglong(v));
    }
    case SQL_FLOAT: {
        float v; std::memcpy(&v, p, sizeof v);
        return QVariant(double(v));
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double v; std::memcpy(&v, p, sizeof v);
        return QVariant(v);
    }
    case SQL_TEXT: {
        if (c.charset == 1) return QVariant(QByteArray(reinterpret_cast<const char*>(p), int(c.length)));  // OCTETS
        QString s = QString::fromUtf8(reinterpret_cast<const char*>(p), int(c.length));
        // CHAR columns come padded with blanks
        int n = int(s.size());
        while (n > 0 && s[n - 1] == QLatin1Char(' ')) --n;
        s.truncate(n);
        return QVariant(s);
    }
    case SQL_VARYING: {
        unsigned short len; std::memcpy(&len, p, sizeof len);
        if (c.charset == 1) return QVariant(QByteArray(reinterpret_cast<const char*>(p + 2), len));
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(p + 2), len));
    }
    case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts; std::memcpy(&ts, p, sizeof ts);
        return QVariant(QDateTime(iscToDate(ts.timestamp_date), iscToTime(ts.timestamp_time)));
    }
    case SQL_TYPE_DATE: {
        ISC_DATE d; std::memcpy(&d, p, sizeof d);
        return QVariant(iscToDate(d));
    }
    case SQL_TYPE_TIME: {
        ISC_TIME t; std::memcpy(&t, p, sizeof t);
        return QVariant(iscToTime(t));
    }
    case SQL_BOOLEAN: return QVariant(bool(*p));
    default: return QVariant();
    }
}

bool parseDateTimeText(const QString& text, QDateTime& out)
{
    const QString t = text.trimmed();
    for (const char* f : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd",
                          "d.M.yyyy H:mm:ss", "d.M.yyyy H:mm", "d.M.yyyy"}) {
        QDateTime dt = QDateTime::fromString(t, QLatin1String(f));
        if (dt.isValid()) { out = dt; return true; }
    }
    return false;
}

}  // namespace

void vaccoraPrepareFirebirdEnvironment()
{
    if (std::getenv("FIREBIRD")) return;
#ifdef VACCORA_FIREBIRD_DIR
    if (QFileInfo::exists(QStringLiteral(VACCORA_FIREBIRD_DIR "/firebird.conf")))
        setenv("FIREBIRD", VACCORA_FIREBIRD_DIR, 0);
#endif
}

// ---------------------------------------------------------------- TIBDatabase

TIBDatabase::TIBDatabase() = default;

TIBDatabase::~TIBDatabase()
{
    try {
        Close();
    } catch (...) {
        // a destructor cannot report; Close() is called explicitly where it matters
    }
}

static std::string paramValue(const QStringList& params, const char* key)
{
    for (const QString& p : params) {
        int eq = int(p.indexOf(QLatin1Char('=')));
        if (eq > 0 && p.left(eq).trimmed().compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
            return p.mid(eq + 1).toStdString();
    }
    return {};
}

std::string TIBDatabase::dpb_user() const { return paramValue(Params, "user_name"); }
std::string TIBDatabase::dpb_password() const { return paramValue(Params, "password"); }

static IXpbBuilder* buildDpb(Status& st, const std::string& user, const std::string& password, int dialect)
{
    IXpbBuilder* dpb = util()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    if (!user.empty()) dpb->insertString(&st, isc_dpb_user_name, user.c_str());
    if (!password.empty()) dpb->insertString(&st, isc_dpb_password, password.c_str());
    dpb->insertInt(&st, isc_dpb_sql_dialect, dialect);
    dpb->insertString(&st, isc_dpb_lc_ctype, "UTF8");
    return dpb;
}

void TIBDatabase::Open()
{
    if (m_att) return;
    Status st;
    IXpbBuilder* dpb = nullptr;
    try {
        dpb = buildDpb(st, dpb_user(), dpb_password(), SQLDialect);
        if (SetForcedWrites) dpb->insertInt(&st, isc_dpb_force_write, 1);
        const QByteArray name = DatabaseName.toUtf8();
        m_att = master()->getDispatcher()->attachDatabase(&st, name.constData(), dpb->getBufferLength(&st),
                                                          dpb->getBuffer(&st));
        dpb->dispose();
    } catch (const FbException& e) {
        if (dpb) dpb->dispose();
        rethrow(e);
    }
}

void TIBDatabase::CreateDatabase()
{
    if (m_att) throw EDatabaseError(std::string("Database already connected"));
    Status st;
    IXpbBuilder* dpb = nullptr;
    try {
        dpb = buildDpb(st, dpb_user(), dpb_password(), SQLDialect);
        dpb->insertInt(&st, isc_dpb_set_db_sql_dialect, SQLDialect);
        dpb->insertInt(&st, isc_dpb_page_size, 8192);
        if (!ForcedWrites) dpb->insertInt(&st, isc_dpb_force_write, 0);
        const QByteArray name = DatabaseName.toUtf8();
        m_att = master()->getDispatcher()->createDatabase(&st, name.constData(), dpb->getBufferLength(&st),
                                                          dpb->getBuffer(&st));
        dpb->dispose();
    } catch (const FbException& e) {
        if (dpb) dpb->dispose();
        rethrow(e);
    }
}

void TIBDatabase::Close()
{
    if (!m_att) return;
    std::string firstError;
    for (TIBTransaction* t : std::vector<TIBTransaction*>(m_transactions)) {
        try {
            if (t->InTransaction()) t->Commit();
        } catch (const std::exception& e) {
            if (firstError.empty()) firstError = e.what();
        }
    }
    Status st;
    try {
        m_att->detach(&st);
        m_att = nullptr;
    } catch (const FbException& e) {
        m_att->release();
        m_att = nullptr;
        if (firstError.empty()) firstError = errorText(e);
    }
    if (!firstError.empty()) throw EDatabaseError(firstError);
}

void TIBDatabase::ExecSQL(TIBTransaction& tr, const QString& sql)
{
    TIBStatement s(tr, sql);
    s.Execute();
}

// ------------------------------------------------------------- TIBTransaction

TIBTransaction::TIBTransaction(TIBDatabase& db) : m_db(db) { db.m_transactions.push_back(this); }

TIBTransaction::~TIBTransaction()
{
    try {
        if (m_tra) Commit();
    } catch (...) {
    }
    auto& v = m_db.m_transactions;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void TIBTransaction::StartTransaction()
{
    if (m_tra) throw EDatabaseError(std::string("Transaction is already active"));
    if (!m_db.Connected()) throw EDatabaseError(std::string("Database not connected"));
    Status st;
    try {
        m_tra = m_db.m_att->startTransaction(&st, 0, nullptr);
    } catch (const FbException& e) {
        rethrow(e);
    }
}

ITransaction* TIBTransaction::Handle()
{
    if (!m_tra) throw EDatabaseError(std::string("Transaction is not active"));
    return m_tra;
}

void TIBTransaction::Commit()
{
    Status st;
    try {
        Handle()->commit(&st);
        m_tra = nullptr;
    } catch (const FbException& e) {
        rethrow(e);
    }
}

void TIBTransaction::CommitRetaining()
{
    Status st;
    try {
        Handle()->commitRetaining(&st);
    } catch (const FbException& e) {
        rethrow(e);
    }
}

void TIBTransaction::Rollback()
{
    Status st;
    try {
        Handle()->rollback(&st);
        m_tra = nullptr;
    } catch (const FbException& e) {
        rethrow(e);
    }
}

// --------------------------------------------------------------- TIBStatement

struct TIBStatement::Impl {
    TIBTransaction& tr;
    IStatement* stmt = nullptr;
    IMessageMetadata* inMeta = nullptr;
    IMessageMetadata* outMeta = nullptr;
    IResultSet* cursor = nullptr;
    std::vector<ColumnDesc> in, out;
    std::vector<unsigned char> inBuf, outBuf;
    bool fetched = false;

    explicit Impl(TIBTransaction& t) : tr(t) {}
    ~Impl()
    {
        Status st;
        try {
            if (cursor) cursor->close(&st);
        } catch (const FbException&) {
            if (cursor) cursor->release();
        }
        try {
            if (stmt) stmt->free(&st);
        } catch (const FbException&) {
            if (stmt) stmt->release();
        }
        if (inMeta) inMeta->release();
        if (outMeta) outMeta->release();
    }

    unsigned char* param(int i, short isNull)
    {
        if (i < 0 || i >= int(in.size())) throw EDatabaseError(QStringLiteral("Parameter index %1 out of range").arg(i));
        *reinterpret_cast<short*>(inBuf.data() + in[i].nullOffset) = isNull;
        return inBuf.data() + in[i].offset;
    }
};

TIBStatement::TIBStatement(TIBTransaction& tr, const QString& sql) : d(std::make_unique<Impl>(tr))
{
    Status st;
    try {
        const QByteArray text = sql.toUtf8();
        d->stmt = tr.Database().Handle() ? tr.Database().Handle()->prepare(&st, tr.Handle(), 0, text.constData(),
                                                                          unsigned(tr.Database().SQLDialect),
                                                                          IStatement::PREPARE_PREFETCH_METADATA)
                                         : nullptr;
        if (!d->stmt) throw EDatabaseError(std::string("Database not connected"));
        // Parameters: coerce texts to VARCHAR of generous length so that any
        // text value can be passed; the server converts.
        IMessageMetadata* im = d->stmt->getInputMetadata(&st);
        IMetadataBuilder* b = im->getBuilder(&st);
        for (unsigned i = 0; i < im->getCount(&st); ++i) {
            unsigned t = im->getType(&st, i) & ~1u;
            if ((t == SQL_TEXT || t == SQL_VARYING) && (im->getCharSet(&st, i) & 0xff) == 1) {
                b->setType(&st, i, SQL_VARYING + 1);  // binary (record keys): passed as bytes
            } else if (t == SQL_TEXT || t == SQL_VARYING) {
                b->setType(&st, i, SQL_VARYING + 1);
                b->setCharSet(&st, i, 4 /* UTF8 */);
                b->setLength(&st, i, std::max(im->getLength(&st, i), 256u));
            } else if (t == SQL_BLOB) {
                b->setType(&st, i, SQL_VARYING + 1);
                b->setLength(&st, i, 32000);
            } else {
                b->setType(&st, i, t + 1);  // nullable
            }
        }
        d->inMeta = b->getMetadata(&st);
        b->release();
        im->release();
        d->in = describe(st, d->inMeta);
        d->inBuf.assign(d->inMeta->getMessageLength(&st), 0);
        for (const ColumnDesc& c : d->in) *reinterpret_cast<short*>(d->inBuf.data() + c.nullOffset) = -1;

        IMessageMetadata* om = d->stmt->getOutputMetadata(&st);
        b = om->getBuilder(&st);
        for (unsigned i = 0; i < om->getCount(&st); ++i) {
            unsigned t = om->getType(&st, i) & ~1u;
            if (t == SQL_BLOB) {
                b->setType(&st, i, SQL_VARYING + 1);
                b->setLength(&st, i, 32000);
            } else {
                b->setType(&st, i, t + 1);
            }
        }
        d->outMeta = b->getMetadata(&st);
        b->release();
        om->release();
        d->out = describe(st, d->outMeta);
        d->outBuf.assign(d->outMeta->getMessageLength(&st), 0);
    } catch (const FbException& e) {
        rethrow(e);
    }
}

TIBStatement::~TIBStatement() = default;

int TIBStatement::ParamCount() const { return int(d->in.size()); }

void TIBStatement::SetParamNull(int i) { d->param(i, -1); }

void TIBStatement::ClearParams()
{
    for (const ColumnDesc& c : d->in) *reinterpret_cast<short*>(d->inBuf.data() + c.nullOffset) = -1;
}

static long long scaleToInt(double v, int scale)
{
    for (int k = 0; k < -scale; ++k) v *= 10.0;
    return std::llround(v);
}

void TIBStatement::SetParamInt(int i, long long v)
{
    unsigned char* p = d->param(i, 0);
    const ColumnDesc& c = d->in[i];
    auto range = [&](long long lo, long long hi) {
        if (v < lo || v > hi) {
            d->param(i, -1);
            throw EDatabaseError(QStringLiteral("Value %1 is out of range for parameter %2").arg(v).arg(i + 1));
        }
    };
    switch (c.type) {
    case SQL_SHORT: {
        long long s = c.scale ? scaleToInt(double(v), c.scale) : v;
        v = s;
        range(std::numeric_limits<short>::min(), std::numeric_limits<short>::max());
        short x = short(s); std::memcpy(p, &x, sizeof x); break;
    }
    case SQL_LONG: {
        long long s = c.scale ? scaleToInt(double(v), c.scale) : v;
        v = s;
        range(std::numeric_limits<ISC_LONG>::min(), std::numeric_limits<ISC_LONG>::max());
        ISC_LONG x = ISC_LONG(s); std::memcpy(p, &x, sizeof x); break;
    }
    case SQL_INT64: {
        ISC_INT64 x = c.scale ? scaleToInt(double(v), c.scale) : v; std::memcpy(p, &x, sizeof x); break;
    }
    case SQL_FLOAT: { float x = float(v); std::memcpy(p, &x, sizeof x); break; }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: { double x = double(v); std::memcpy(p, &x, sizeof x); break; }
    case SQL_BOOLEAN: *p = v != 0; break;
    case SQL_VARYING: SetParamText(i, QString::number(v)); break;
    default: d->param(i, -1); throw EDatabaseError(QStringLiteral("Parameter %1 does not take a number").arg(i + 1));
    }
}

void TIBStatement::SetParamDouble(int i, double v)
{
    const ColumnDesc& c = d->in.at(i);
    switch (c.type) {
    case SQL_FLOAT: { unsigned char* p = d->param(i, 0); float x = float(v); std::memcpy(p, &x, sizeof x); break; }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: { unsigned char* p = d->param(i, 0); std::memcpy(p, &v, sizeof v); break; }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        if (!std::isfinite(v)) throw EDatabaseError(QStringLiteral("Value is not a finite number"));
        if (c.scale) {
            unsigned char* p = d->param(i, 0);
            long long s = scaleToInt(v, c.scale);
            if (c.type == SQL_SHORT) { short x = short(s); std::memcpy(p, &x, sizeof x); }
            else if (c.type == SQL_LONG) { ISC_LONG x = ISC_LONG(s); std::memcpy(p, &x, sizeof x); }
            else { ISC_INT64 x = s; std::memcpy(p, &x, sizeof x); }
        } else {
            if (v != std::floor(v)) throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(v));
            SetParamInt(i, (long long)v);
        }
        break;
    case SQL_VARYING: SetParamText(i, QString::number(v, 'g', 17)); break;
    default: d->param(i, -1); throw EDatabaseError(QStringLiteral("Parameter %1 does not take a number").arg(i + 1));
    }
}

void TIBStatement::SetParamText(int i, const QString& v)
{
    const ColumnDesc& c = d->in.at(i);
    switch (c.type) {
    case SQL_VARYING: {
        QByteArray u = v.toUtf8();
        if (unsigned(u.size()) > c.length) throw EDatabaseError(QStringLiteral("Text too long for parameter %1").arg(i + 1));
        unsigned char* p = d->param(i, 0);
        unsigned short len = (unsigned short)u.size();
        std::memcpy(p, &len, sizeof len);
        std::memcpy(p + 2, u.constData(), len);
        break;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        bool ok = false;
        long long x = v.trimmed().toLongLong(&ok);
        if (!ok) throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(v));
        SetParamInt(i, x);
        break;
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        bool ok = false;
        double x = v.trimmed().toDouble(&ok);
        if (!ok) throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(v));
        SetParamDouble(i, x);
        break;
    }
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: {
        QDateTime dt;
        if (!parseDateTimeText(v, dt)) throw EDatabaseError(QStringLiteral("'%1' is not a valid date and time").arg(v));
        SetParamDateTime(i, dt);
        break;
    }
    default: throw EDatabaseError(QStringLiteral("Parameter %1 does not take a text").arg(i + 1));
    }
}

void TIBStatement::SetParamDateTime(int i, const QDateTime& v)
{
    const ColumnDesc& c = d->in.at(i);
    if (!v.isValid()) throw EDatabaseError(QStringLiteral("Invalid date and time for parameter %1").arg(i + 1));
    switch (c.type) {
    case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts{dateToIsc(v.date()), timeToIsc(v.time())};
        std::memcpy(d->param(i, 0), &ts, sizeof ts);
        break;
    }
    case SQL_TYPE_DATE: { ISC_DATE x = dateToIsc(v.date()); std::memcpy(d->param(i, 0), &x, sizeof x); break; }
    case SQL_TYPE_TIME: { ISC_TIME x = timeToIsc(v.time()); std::memcpy(d->param(i, 0), &x, sizeof x); break; }
    case SQL_VARYING: SetParamText(i, v.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))); break;
    default: throw EDatabaseError(QStringLiteral("Parameter %1 does not take a date").arg(i + 1));
    }
}

void TIBStatement::SetParam(int i, const QVariant& v)
{
    if (!v.isValid() || v.isNull()) { SetParamNull(i); return; }
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
    case QMetaType::Long: SetParamInt(i, v.toLongLong()); break;
    case QMetaType::Double:
    case QMetaType::Float: SetParamDouble(i, v.toDouble()); break;
    case QMetaType::Bool: SetParamInt(i, v.toBool() ? 1 : 0); break;
    case QMetaType::QDateTime: SetParamDateTime(i, v.toDateTime()); break;
    case QMetaType::QDate: SetParamDateTime(i, QDateTime(v.toDate(), QTime(0, 0))); break;
    case QMetaType::QTime: SetParamDateTime(i, QDateTime(QDate(1858, 11, 17), v.toTime())); break;
    case QMetaType::QByteArray: {
        const ColumnDesc& c = d->in.at(i);
        const QByteArray b = v.toByteArray();
        if (c.type != SQL_VARYING || unsigned(b.size()) > c.length) throw EDatabaseError(QStringLiteral("Parameter %1 does not take bytes").arg(i + 1));
        unsigned char* p = d->param(i, 0);
        unsigned short len = (unsigned short)b.size();
        std::memcpy(p, &len, sizeof len);
        std::memcpy(p + 2, b.constData(), len);
        break;
    }
    default: SetParamText(i, v.toString()); break;
    }
}

void TIBStatement::Execute()
{
    Status st;
    try {
        CloseCursor();
        d->stmt->execute(&st, d->tr.Handle(), d->inMeta, d->inBuf.data(), d->outMeta, d->outBuf.data());
    } catch (const FbException& e) {
        rethrow(e);
    }
}

void TIBStatement::OpenCursor()
{
    Status st;
    try {
        CloseCursor();
        d->cursor = d->stmt->openCursor(&st, d->tr.Handle(), d->inMeta, d->inBuf.data(), d->outMeta, 0);
    } catch (const FbException& e) {
        rethrow(e);
    }
}

bool TIBStatement::Fetch()
{
    if (!d->cursor) return false;
    Status st;
    try {
        if (d->cursor->fetchNext(&st, d->outBuf.data()) == IStatus::RESULT_OK) return true;
        d->cursor->close(&st);
        d->cursor = nullptr;
        return false;
    } catch (const FbException& e) {
        d->cursor->release();
        d->cursor = nullptr;
        rethrow(e);
    }
}

void TIBStatement::CloseCursor()
{
    if (!d->cursor) return;
    Status st;
    try {
        d->cursor->close(&st);
    } catch (const FbException&) {
        d->cursor->release();
    }
    d->cursor = nullptr;
}

int TIBStatement::ColumnCount() const { return int(d->out.size()); }
QString TIBStatement::ColumnName(int i) const { return d->out.at(i).name; }
TFieldType TIBStatement::ColumnType(int i) const { return fieldTypeOf(d->out.at(i).type, d->out.at(i).scale); }
QVariant TIBStatement::Column(int i) const { return readColumn(d->out.at(i), d->outBuf.data()); }

long long TIBStatement::RowsAffected() const
{
    Status st;
    try {
        return (long long)d->stmt->getAffectedRecords(&st);
    } catch (const FbException& e) {
        rethrow(e);
    }
}

// ------------------------------------------------------------------- TIBQuery

QString TIBQuery::StatementText() const { return SQL.join(QLatin1Char('\n')); }

void TIBQuery::Open()
{
    if (m_active) return;
    QString text = StatementText().trimmed();
    while (text.endsWith(QLatin1Char(';'))) text.chop(1);
    TIBStatement s(m_tr, text);
    s.OpenCursor();
    QStringList names;
    for (int i = 0; i < s.ColumnCount(); ++i) names << s.ColumnName(i);
    std::vector<std::vector<QVariant>> rows;
    while (s.Fetch()) {
        std::vector<QVariant> r(size_t(s.ColumnCount()));
        for (int i = 0; i < s.ColumnCount(); ++i) r[size_t(i)] = s.Column(i);
        rows.push_back(std::move(r));
    }
    m_names = names;
    m_rows = std::move(rows);
    m_pos = 0;
    m_active = true;
}

void TIBQuery::Close()
{
    m_active = false;
    m_rows.clear();
    m_names.clear();
    m_pos = 0;
}

int TIBQuery::FieldIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QVariant TIBQuery::Value(int field) const
{
    if (!m_active) throw EDatabaseError(std::string("Dataset not in active state"));
    if (Eof()) throw EDatabaseError(std::string("Dataset at end: no current record"));
    return m_rows[size_t(m_pos)].at(size_t(field));
}

QVariant TIBQuery::FieldByName(const QString& name) const
{
    int i = FieldIndex(name);
    if (i < 0) throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return Value(i);
}

// ------------------------------------------------------------------- TIBTable

TIBTable::TIBTable(TIBDatabase& db, TIBTransaction& tr) : m_db(db), m_tr(tr) {}
TIBTable::~TIBTable() = default;

// Dialect 1 has no delimited identifiers: names go in as they are.
static QString quoted(const QString& ident) { return ident; }

void TIBTable::Open()
{
    if (Active()) return;
    // Field definitions from the system tables, in stored order.
    TIBStatement s(m_tr, QStringLiteral(
        "select trim(rf.rdb$field_name), f.rdb$field_type, f.rdb$field_scale, f.rdb$character_length, "
        "f.rdb$field_length, rf.rdb$null_flag from rdb$relation_fields rf "
        "join rdb$fields f on f.rdb$field_name = rf.rdb$field_source "
        "where rf.rdb$relation_name = ? order by rf.rdb$field_position"));
    s.SetParamText(0, TableName.toUpper());
    s.OpenCursor();
    std::vector<TFieldDef> fields;
    while (s.Fetch()) {
        TFieldDef f;
        f.Name = s.Column(0).toString();
        const int blr = s.Column(1).toInt();
        const int scale = s.Column(2).toInt();
        switch (blr) {
        case 7: f.DataType = scale ? TFieldType::ftFloat : TFieldType::ftSmallint; break;
        case 8: f.DataType = scale ? TFieldType::ftFloat : TFieldType::ftInteger; break;
        case 16: f.DataType = scale ? TFieldType::ftFloat : TFieldType::ftLargeint; break;
        case 10: case 11: case 27: f.DataType = TFieldType::ftFloat; break;
        case 14: case 37: case 40: f.DataType = TFieldType::ftString; break;
        case 35: f.DataType = TFieldType::ftDateTime; break;
        case 12: f.DataType = TFieldType::ftDate; break;
        case 13: f.DataType = TFieldType::ftTime; break;
        case 261: f.DataType = TFieldType::ftBlob; break;
        case 23: f.DataType = TFieldType::ftBoolean; break;
        default: f.DataType = TFieldType::ftUnknown; break;
        }
        f.Size = s.Column(3).isValid() ? s.Column(3).toInt() : (f.DataType == TFieldType::ftString ? s.Column(4).toInt() : 0);
        f.Required = s.Column(5).toInt() != 0;
        fields.push_back(f);
    }
    if (fields.empty()) throw EDatabaseError(QStringLiteral("Table unknown: %1").arg(TableName));
    m_fields = std::move(fields);
    m_row.assign(m_fields.size(), QVariant());
    m_dbKey.clear();
    m_insert.reset();
    m_update.reset();
    m_delete.reset();
    m_locators.clear();
    m_state = TDataSetState::dsBrowse;
}

void TIBTable::Close()
{
    m_insert.reset();
    m_update.reset();
    m_delete.reset();
    m_locators.clear();
    m_state = TDataSetState::dsInactive;
}

int TIBTable::FieldIndex(const QString& name) const
{
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].Name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

int TIBTable::requireField(const QString& name) const
{
    int i = FieldIndex(name);
    if (i < 0) throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return i;
}

void TIBTable::Insert()
{
    if (!Active()) throw EDatabaseError(std::string("Dataset not in active state"));
    if (m_state != TDataSetState::dsBrowse) throw EDatabaseError(std::string("Dataset not in browse state"));
    std::fill(m_row.begin(), m_row.end(), QVariant());
    m_state = TDataSetState::dsInsert;
}

void TIBTable::Append() { Insert(); }

void TIBTable::Edit()
{
    if (m_state != TDataSetState::dsBrowse) throw EDatabaseError(std::string("Dataset not in browse state"));
    if (m_dbKey.isEmpty()) throw EDatabaseError(std::string("No current record to edit"));
    m_state = TDataSetState::dsEdit;
}

void TIBTable::Cancel()
{
    if (m_state == TDataSetState::dsInsert || m_state == TDataSetState::dsEdit) {
        if (m_state == TDataSetState::dsInsert) std::fill(m_row.begin(), m_row.end(), QVariant());
        m_state = TDataSetState::dsBrowse;
    }
}

QVariant TIBTable::convert(int index, const QVariant& v) const
{
    if (!v.isValid() || v.isNull()) return QVariant();
    const TFieldDef& f = m_fields[size_t(index)];
    auto fail = [&](const QString& what) -> QVariant {
        throw EDatabaseError(QStringLiteral("'%1' is not a valid %2 value for field '%3'").arg(v.toString(), what, f.Name));
    };
    switch (f.DataType) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftLargeint: {
        long long x = 0;
        if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float) {
            double dv = v.toDouble();
            if (!std::isfinite(dv) || dv != std::floor(dv) || std::fabs(dv) > 9.2e18) return fail(QStringLiteral("integer"));
            x = (long long)dv;
        } else if (v.typeId() == QMetaType::QString) {
            bool ok = false;
            x = v.toString().trimmed().toLongLong(&ok);
            if (!ok) return fail(QStringLiteral("integer"));
        } else if (v.canConvert<qlonglong>()) {
            bool ok = false;
            x = v.toLongLong(&ok);
            if (!ok) return fail(QStringLiteral("integer"));
        } else {
            return fail(QStringLiteral("integer"));
        }
        const long long lo = f.DataType == TFieldType::ftSmallint ? -32768 : f.DataType == TFieldType::ftInteger ? -2147483648LL : std::numeric_limits<long long>::min();
        const long long hi = f.DataType == TFieldType::ftSmallint ? 32767 : f.DataType == TFieldType::ftInteger ? 2147483647LL : std::numeric_limits<long long>::max();
        if (x < lo || x > hi)
            throw EDatabaseError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                                     .arg(x).arg(f.Name).arg(lo).arg(hi));
        return f.DataType == TFieldType::ftLargeint ? QVariant(qlonglong(x)) : QVariant(int(x));
    }
    case TFieldType::ftFloat: {
        bool ok = false;
        double x = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (!ok) return fail(QStringLiteral("floating point"));
        return QVariant(x);
    }
    case TFieldType::ftString: {
        QString s = v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 15) : v.toString();
        if (f.Size > 0 && s.size() > f.Size) s.truncate(f.Size);  // a text field keeps its declared length
        return QVariant(s);
    }
    case TFieldType::ftDateTime:
    case TFieldType::ftDate:
    case TFieldType::ftTime: {
        QDateTime dt;
        if (v.typeId() == QMetaType::QDateTime) dt = v.toDateTime();
        else if (v.typeId() == QMetaType::QDate) dt = QDateTime(v.toDate(), QTime(0, 0));
        else if (v.typeId() == QMetaType::QTime) dt = QDateTime(QDate(1899, 12, 30), v.toTime());
        else if (v.typeId() == QMetaType::QString) { if (!parseDateTimeText(v.toString(), dt)) return fail(QStringLiteral("date")); }
        else return fail(QStringLiteral("date"));
        if (!dt.isValid()) return fail(QStringLiteral("date"));
        return QVariant(dt);
    }
    case TFieldType::ftBoolean: return QVariant(v.toBool());
    default: return QVariant(v.toString());
    }
}

void TIBTable::SetField(int index, const QVariant& value)
{
    if (m_state != TDataSetState::dsInsert && m_state != TDataSetState::dsEdit)
        throw EDatabaseError(std::string("Dataset not in edit or insert mode"));
    if (index < 0 || index >= int(m_fields.size())) throw EDatabaseError(QStringLiteral("Field index %1 out of range").arg(index));
    m_row[size_t(index)] = convert(index, value);
}

void TIBTable::SetField(const QString& name, const QVariant& value) { SetField(requireField(name), value); }

QVariant TIBTable::Field(int index) const { return m_row.at(size_t(index)); }
QVariant TIBTable::Field(const QString& name) const { return Field(requireField(name)); }

void TIBTable::Post()
{
    if (m_state == TDataSetState::dsInsert) {
        if (!m_insert) {
            QStringList cols, marks;
            for (const TFieldDef& f : m_fields) { cols << quoted(f.Name); marks << QStringLiteral("?"); }
            m_insert = std::make_unique<TIBStatement>(
                m_tr, QStringLiteral("insert into %1 (%2) values (%3) returning rdb$db_key")
                          .arg(quoted(TableName.toUpper()), cols.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        }
        for (size_t i = 0; i < m_fields.size(); ++i) m_insert->SetParam(int(i), m_row[i]);
        m_insert->Execute();
        m_dbKey = m_insert->Column(0).toByteArray();
    } else if (m_state == TDataSetState::dsEdit) {
        if (!m_update) {
            QStringList sets;
            for (const TFieldDef& f : m_fields) sets << quoted(f.Name) + QStringLiteral("=?");
            m_update = std::make_unique<TIBStatement>(
                m_tr, QStringLiteral("update %1 set %2 where rdb$db_key = ?").arg(quoted(TableName.toUpper()), sets.join(QLatin1Char(','))));
        }
        for (size_t i = 0; i < m_fields.size(); ++i) m_update->SetParam(int(i), m_row[i]);
        m_update->SetParam(int(m_fields.size()), QVariant(m_dbKey));
        m_update->Execute();
    } else {
        throw EDatabaseError(std::string("Dataset not in edit or insert mode"));
    }
    ++m_posted;
    m_state = TDataSetState::dsBrowse;
}

void TIBTable::Delete()
{
    if (m_state != TDataSetState::dsBrowse || m_dbKey.isEmpty()) throw EDatabaseError(std::string("No current record to delete"));
    if (!m_delete)
        m_delete = std::make_unique<TIBStatement>(m_tr, QStringLiteral("delete from %1 where rdb$db_key = ?").arg(quoted(TableName.toUpper())));
    m_delete->SetParam(0, QVariant(m_dbKey));
    m_delete->Execute();
    m_dbKey.clear();
    std::fill(m_row.begin(), m_row.end(), QVariant());
}

bool TIBTable::Locate(const QStringList& keyFields, const QVariantList& values, bool caseInsensitive)
{
    if (!Active()) throw EDatabaseError(std::string("Dataset not in active state"));
    if (keyFields.size() != values.size() || keyFields.isEmpty()) throw EDatabaseError(std::string("Locate: key fields and values differ in number"));
    std::vector<int> idx;
    for (const QString& k : keyFields) idx.push_back(requireField(k));
    // One prepared statement per key set and NULL pattern.
    QString sig = caseInsensitive ? QStringLiteral("i") : QStringLiteral("s");
    for (int k = 0; k < keyFields.size(); ++k) sig += QLatin1Char('|') + QString::number(idx[size_t(k)]) + (values[k].isNull() || !values[k].isValid() ? QStringLiteral("n") : QString());
    auto it = m_locators.find(sig);
    if (it == m_locators.end()) {
        QStringList cols, conds;
        for (const TFieldDef& f : m_fields) cols << quoted(f.Name);
        for (int k = 0; k < keyFields.size(); ++k) {
            const TFieldDef& f = m_fields[size_t(idx[size_t(k)])];
            if (values[k].isNull() || !values[k].isValid()) conds << quoted(f.Name) + QStringLiteral(" is null");
            else if (caseInsensitive && f.DataType == TFieldType::ftString) conds << QStringLiteral("upper(%1) = upper(cast(? as varchar(%2) character set utf8))").arg(quoted(f.Name)).arg(std::max(f.Size, 1));
            else conds << quoted(f.Name) + QStringLiteral(" = ?");
        }
        auto s = std::make_unique<TIBStatement>(
            m_tr, QStringLiteral("select rdb$db_key, %1 from %2 where %3").arg(cols.join(QLatin1Char(',')), quoted(TableName.toUpper()), conds.join(QStringLiteral(" and "))));
        it = m_locators.emplace(sig, std::move(s)).first;
    }
    TIBStatement& s = *it->second;
    int p = 0;
    for (int k = 0; k < keyFields.size(); ++k) {
        if (values[k].isNull() || !values[k].isValid()) continue;
        QVariant v = convert(idx[size_t(k)], values[k]);
        s.SetParam(p++, v);
    }
    s.OpenCursor();
    bool found = s.Fetch();
    if (found) {
        m_dbKey = s.Column(0).toByteArray();
        for (size_t i = 0; i < m_fields.size(); ++i) m_row[i] = s.Column(int(i) + 1);
    }
    s.CloseCursor();
    if (m_state != TDataSetState::dsBrowse) m_state = TDataSetState::dsBrowse;
    return found;
}
