/* A native library for the tests of CVmExternDLL: plain C exports of every
   kind the script class converts, functions that fault, and __QEM_INIT,
   which keeps what the host services answered. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

typedef void* (*HostServicesProc)(int type);

static char g_seen[1024] = "(not called)";
static char g_greeting[256];
static const float g_vec4[4] = {1.0f, 2.0f, 3.0f, 4.0f};

void __QEM_INIT(HostServicesProc services) {
    const char* folder = (const char*)services(1);
    snprintf(g_seen, sizeof g_seen, "%s|%s", folder ? folder : "(null)", services(2) ? "set" : "null");
}

const char* seen(void) { return g_seen; }

int add(int a, int b) { return a + b; }
float fmul(float a, float b) { return a * b; }
double ddiv(double a, double b) { return a / b; }

const char* greet(const char* name) {
    snprintf(g_greeting, sizeof g_greeting, "hello, %s", name);
    return g_greeting;
}

/* Doubles n values in place. */
void scale(double* values, int n) {
    for (int i = 0; i < n; ++i) values[i] *= 2.0;
}

void incr(int* value) { ++*value; }

/* Writes into the caller's floats. */
void negate3(float* v) {
    for (int i = 0; i < 3; ++i) v[i] = -v[i];
}

float sum3(const float* v) { return v[0] + v[1] + v[2]; }
float sum4(const float* v) { return v[0] + v[1] + v[2] + v[3]; }

const float* vec4(void) { return g_vec4; }
const float* nullvec(void) { return NULL; }
const char* nullstr(void) { return NULL; }

/* The byte a pointer points to. */
int firstbyte(const unsigned char* p) { return p[0]; }

/* Whether a pointer was given. */
int notnull(const void* p) { return p != NULL; }

int crash(void) {
    volatile int* nowhere = NULL;
    return *nowhere;
}

int divz(int a, int b) {
    volatile int d = b;
    return a / d;
}
