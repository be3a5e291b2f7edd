// The model-view stack, pushed for a computation and put back as it was,
// with the caller's matrix mode.
#pragma once

#include <GL/gl.h>

class ModelViewScope {
public:
    ModelViewScope() {
        glGetIntegerv(GL_MATRIX_MODE, &m_mode);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
    }
    ~ModelViewScope() {
        glPopMatrix();
        glMatrixMode(static_cast<GLenum>(m_mode));
    }
    ModelViewScope(const ModelViewScope&) = delete;
    ModelViewScope& operator=(const ModelViewScope&) = delete;

    void ReadInto(float* m) const { glGetFloatv(GL_MODELVIEW_MATRIX, m); }

private:
    GLint m_mode = GL_MODELVIEW;
};
