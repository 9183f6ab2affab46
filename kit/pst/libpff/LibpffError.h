#pragma once

#include <libpff.h>

#include <QString>

namespace ostrel {

// The text of a libpff error object, or "unknown" when the library left none.
// Frees the object and sets the caller's reference to absent.
QString libpffErrorText(libpff_error_t **error);

// The error slot every libpff call is given. It starts absent; whatever the
// library leaves in it is turned into text, and so freed, exactly once.
class LibpffErrorSlot {
public:
    LibpffErrorSlot() = default;
    LibpffErrorSlot(const LibpffErrorSlot &) = delete;
    LibpffErrorSlot &operator=(const LibpffErrorSlot &) = delete;
    ~LibpffErrorSlot() { drop(); }

    libpff_error_t **operator&() { return &m_error; }
    QString text() { return libpffErrorText(&m_error); }
    void drop()
    {
        if (m_error)
            libpffErrorText(&m_error);
    }

private:
    libpff_error_t *m_error = nullptr;
};

}  // namespace ostrel
