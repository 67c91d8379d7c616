#include "import/engine/ImportEngine.h"

#include <QJSEngine>
#include <QJSValue>

struct TImportJScriptEngine::Impl {
    QJSEngine engine;
    bool hasError = false;
    TImportScriptError error;
};

TImportJScriptEngine::TImportJScriptEngine() : d(std::make_unique<Impl>()) {}

TImportJScriptEngine::~TImportJScriptEngine() = default;

bool TImportJScriptEngine::Evaluate(const QString& expression, QString& result) {
    QJSValue v = d->engine.evaluate(expression);
    if (v.isError()) {
        d->hasError = true;
        d->error = TImportScriptError{};
        d->error.Line = v.property(QStringLiteral("lineNumber")).toInt();
        d->error.Description = v.property(QStringLiteral("message")).toString();
        d->error.Text = expression;
        d->error.Number = (int)v.errorType();
        return false;
    }
    result = v.isUndefined() || v.isNull() ? QString() : v.toString();
    return true;
}

void TImportJScriptEngine::LastError(TImportScriptError& error) {
    error = d->hasError ? d->error : TImportScriptError{};
    d->hasError = false;
    d->error = TImportScriptError{};
}

void TImportJScriptEngine::MakeLiteral(const QString& text, QString& literal) {
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))) {
        literal = text;
        return;
    }
    QString t = text;
    t.replace(QLatin1String("\""), QLatin1String("\"\""));
    literal = QLatin1Char('"') + t + QLatin1Char('"');
}
