// The speed-lines tube around the eye: passes the texture coordinates (u along
// the tube, v around it) moved by "offset", so the streaks stream past, and
// the eye-space position.
attribute vec3 vpos;
attribute vec2 vUV;
uniform mat4 matM;
uniform mat4 matP;
uniform vec2 offset;
varying vec2 uv;
varying vec2 along;
varying vec3 eye;

void main()
{
    vec4 p = matM * vec4(vpos, 1.0);
    eye = p.xyz;
    uv = vUV + offset;
    along = vUV;
    gl_Position = matP * p;
}
