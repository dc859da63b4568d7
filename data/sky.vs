// The sky dome: a textured sphere around the eye, unlit; its picture is the
// whole colour. (The built-in program also carried normals and vertex
// colours to a fragment stage that drops them for an opaque picture.)
// The dome lies at the far plane (depth 1): behind all geometry, tested
// LEQUAL so that it fills what nothing covers. Medium precision, as the
// built-in program drew the sky: the same pixels.
precision mediump float;
attribute vec3 vpos;
attribute vec2 vUV;
uniform mat4 matM;
uniform mat4 matP;
varying vec2 uv;

void main()
{
    uv = vUV;
    gl_Position = (matP * matM * vec4(vpos, 1.0)).xyww;
}
