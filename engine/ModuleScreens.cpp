// What the module draws itself: the loading screen, the stopped screen and
// the fade.
#include "EngineModule.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

void CVRModule3D::DrawFade(float alpha) {
    if (alpha >= 1.0f) return;
    if (alpha < 0.0f) alpha = 0.0f;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 1.0f - alpha);
    glBegin(GL_QUADS);
    glVertex3f(-1, 1, 0);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    glColor4f(1, 1, 1, 1);
}

namespace {

double ViewportAspect() {
    GLint v[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, v);
    return v[3] > 0 ? static_cast<double>(v[2]) / v[3] : 1.0;
}

// One face of an axis box: the axis (0 x, 1 y, 2 z), its sign, the extent
// along it and across it.
void BoxFace(int axis, float sign, float along, float across, bool outline) {
    float corners[4][2] = {{-across, -across}, {across, -across}, {across, across}, {-across, across}};
    glBegin(outline ? GL_LINE_LOOP : GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        const int c = sign > 0 ? i : 3 - i;  // outward winding
        float p[3];
        p[axis] = sign * along;
        p[(axis + 1) % 3] = corners[c][0];
        p[(axis + 2) % 3] = corners[c][1];
        glTexCoord2f(corners[c][0] > 0 ? 1.0f : 0.0f, corners[c][1] > 0 ? 1.0f : 0.0f);
        glVertex3fv(p);
    }
    glEnd();
}

}  // namespace

void CVRModule3D::DrawLoadingScreen(float alpha, float progress, float red, float green, float blue) {
    glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, ViewportAspect(), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -8);
    const float angle = static_cast<float>(NowMs() % 6000) * 0.06f;
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);

    if (red + green + blue > 0) {
        glPushMatrix();
        glTranslatef(0, -4, 0);
        glLineWidth(1);
        glColor3f(0.5f, 0.5f, 0.5f);
        glBegin(GL_LINE_LOOP);
        glVertex3f(-4.1f, -0.2f, 0);
        glVertex3f(4.1f, -0.2f, 0);
        glVertex3f(4.1f, 0.2f, 0);
        glVertex3f(-4.1f, 0.2f, 0);
        glEnd();
        // From the given colour at the left to green at the right.
        const float mid[3] = {red * 0.5f, (green + 1.0f) * 0.5f, blue * 0.5f};
        glBegin(GL_QUADS);
        glColor3f(red, green, blue);
        glVertex3f(-4, -0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, -0.1f, 0);
        glVertex3f(0, 0.1f, 0);
        glColor3f(red, green, blue);
        glVertex3f(-4, 0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, -0.1f, 0);
        glColor3f(0, 1, 0);
        glVertex3f(4, -0.1f, 0);
        glVertex3f(4, 0.1f, 0);
        glColor3fv(mid);
        glVertex3f(0, 0.1f, 0);
        glEnd();
        // The part not reached yet is hidden in the background colour.
        glColor3ub(m_background[0], m_background[1], m_background[2]);
        const float from = (1.0f - 2.0f * progress) * -4.03f;
        glBegin(GL_QUADS);
        glVertex3f(from, -0.15f, 0.01f);
        glVertex3f(4.03f, -0.15f, 0.01f);
        glVertex3f(4.03f, 0.15f, 0.01f);
        glVertex3f(from, 0.15f, 0.01f);
        glEnd();
        glPopMatrix();
    }

    glPushMatrix();
    glRotatef(45, 1, 0, 1);
    glRotatef(-angle, 0, 1, 0);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    const float colours[6][3] = {{1, 0, 0}, {0.5f, 0, 0}, {0, 1, 0}, {0, 0.5f, 0}, {0, 0, 1}, {0, 0, 0.5f}};
    for (int f = 0; f < 6; ++f) {
        glColor3fv(colours[f]);
        BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.15f, 1.0f, false);
    }
    glDisable(GL_TEXTURE_2D);
    glLineWidth(2);
    glColor3f(0, 0, 0);
    for (int f = 0; f < 6; ++f) BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.15f, 1.0f, true);
    glDisable(GL_CULL_FACE);

    const float a = angle * 3.14159265f / 180.0f;
    glColor3f(std::sin(a) + 1, std::sin(a) + 1, std::sin(a + 0.8f) + 1);
    glScalef(1.2f, 1.2f, 1.2f);
    glLineWidth(1);
    for (int f = 0; f < 6; ++f) BoxFace(f / 2, f % 2 ? -1.0f : 1.0f, 1.0f, 1.0f, true);
    glPopMatrix();

    DrawFade(alpha);
}

void CVRModule3D::DrawStoppedScreen() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(70.0, ViewportAspect(), 0.1, 100.0);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    for (GLenum coord : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q}) glDisable(coord);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -8);
    if (!m_stoppedList) {
        // A bar 0.6 wide, 2 high, 0.2 deep.
        m_stoppedList = glGenLists(1);
        glNewList(m_stoppedList, GL_COMPILE);
        const float extent[3] = {0.3f, 1.0f, 0.1f};
        const float colours[3][3] = {{0.6f, 0, 0}, {0.7f, 0.2f, 0.2f}, {0.8f, 0, 0}};  // x, y, z faces
        glBegin(GL_QUADS);
        for (int axis = 0; axis < 3; ++axis) {
            glColor3fv(colours[axis]);
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            for (float sign : {1.0f, -1.0f}) {
                const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
                for (int i = 0; i < 4; ++i) {
                    float p[3];
                    p[axis] = sign * extent[axis];
                    p[u] = corners[i][0] * extent[u];
                    p[v] = corners[i][1] * extent[v];
                    glVertex3fv(p);
                }
            }
        }
        glEnd();
        glEndList();
    }
    glScalef(3, 3, 3);
    glRotatef(static_cast<float>(NowMs() % 6000) * 0.06f, 0, 1, 0);
    GLboolean stereo = GL_FALSE;
    glGetBooleanv(GL_STEREO, &stereo);
    for (int eye = 0; eye < (stereo ? 2 : 1); ++eye) {
        if (stereo) glDrawBuffer(eye == 0 ? GL_BACK_LEFT : GL_BACK_RIGHT);
        glClearColor(m_background[0] / 255.0f, m_background[1] / 255.0f, m_background[2] / 255.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLineWidth(2);
        glColor3f(0.8f, 0.8f, 0.8f);
        glBegin(GL_LINE_LOOP);
        glVertex3f(-1.1f, -1.1f, 0);
        glVertex3f(1.1f, -1.1f, 0);
        glVertex3f(1.1f, 1.1f, 0);
        glVertex3f(-1.1f, 1.1f, 0);
        glEnd();
        glPushMatrix();
        glRotatef(45, 0, 0, 1);
        glCallList(m_stoppedList);
        glRotatef(90, 0, 0, 1);
        glCallList(m_stoppedList);
        glPopMatrix();
    }
    if (stereo) glDrawBuffer(GL_BACK);
}
