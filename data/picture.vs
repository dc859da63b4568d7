// An unlit textured mesh placed by the camera (the kaleidoscope's wedge):
// position and picture coordinates only. Medium precision, as the built-in
// program drew it: the same pixels.
precision mediump float;
attribute vec3 vpos;
attribute vec2 vUV;
uniform mat4 matM;
uniform mat4 matP;
varying vec2 uv;

void main()
{
    uv = vUV;
    gl_Position = matP * matM * vec4(vpos, 1.0);
}
