// The OpenGL declarations the renderer uses: core functions are bound
// directly from libOpenGL.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
