#pragma once

#include <QString>

#include <exception>

// The message for an error no handler expected: a std::exception by its text, anything else as
// an unknown error. action says what was being done, as in "al imprimir".
QString unexpectedErrorMessage(const QString &action, std::exception_ptr error);

// The last resort of a handler boundary: runs steps, and reports anything they throw through
// report, once, so that no exception reaches Qt's event loop, which would end the program with
// every edit lost.
template <typename Steps, typename Report>
void withLastResort(const QString &action, Steps &&steps, Report &&report) noexcept
{
    try {
        steps();
    } catch (...) {
        try {
            report(unexpectedErrorMessage(action, std::current_exception()));
        } catch (...) {
            // Not even the report could be made (no memory left for it): the window goes on.
        }
    }
}
