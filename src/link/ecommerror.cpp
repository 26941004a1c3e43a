#include "link/ecommerror.h"

ECommError::ECommError(const QString& message, int code)
    : std::runtime_error(
          (message + QStringLiteral(" (Error: %1) ").arg(code)).toUtf8().toStdString()),
      m_code(code)
{
}
