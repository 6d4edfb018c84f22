// Appending into a fixed buffer that refuses, rather than overruns, what does not fit.
#pragma once

#include <stddef.h>
#include <string.h>

class BoundedText {
  public:
    BoundedText(char* out, size_t size) : m_out(out), m_size(size) { m_out[0] = '\0'; }

    void Append(const char* text, size_t length) {
        if (!m_fits || m_used + length >= m_size) {
            m_fits = false;
            return;
        }
        memcpy(m_out + m_used, text, length);
        m_used += length;
        m_out[m_used] = '\0';
    }
    void Append(const char* text) { Append(text, strlen(text)); }

    // False once anything did not fit; the text then holds what was appended before.
    bool Fits() const { return m_fits; }

  private:
    char* m_out;
    size_t m_size;
    size_t m_used = 0;
    bool m_fits = true;
};
