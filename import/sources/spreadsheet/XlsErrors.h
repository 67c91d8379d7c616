// Exception classes of the XLS workbook reader. ExlsError is the reader's
// general failure; ExlsFileError marks problems of the file's structure.
// Both carry the message text as UTF-8 in what().
#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>
#include <string>

class ExlsError : public std::runtime_error {
public:
    explicit ExlsError(const std::string& message) : std::runtime_error(message) {}
    explicit ExlsError(const QString& message) : std::runtime_error(message.toStdString()) {}
    explicit ExlsError(const char* message) : std::runtime_error(message) {}
    QString message() const { return QString::fromUtf8(what()); }
};

class ExlsFileError : public ExlsError {
public:
    using ExlsError::ExlsError;
};

// Raised by the formula token walk for a token it cannot measure.
class ETokenException : public ExlsError {
public:
    explicit ETokenException(uint8_t token);
    uint8_t token() const { return m_token; }

private:
    uint8_t m_token;
};
