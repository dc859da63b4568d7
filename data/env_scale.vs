// Flame shells: the mesh grown about its own origin by "scale" (1 for the
// inner shell, a little more for the outer one). Passes the texture
// coordinates, the eye-space normal and position, and the unscaled model
// position for the flame's shape.
attribute vec3 vpos;
attribute vec2 vUV;
attribute vec3 vnrm;
uniform mat4 matM;
uniform mat4 matP;
uniform mat4 matN;
uniform float scale;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 local;

void main()
{
    vec4 p = matM * vec4(vpos * scale, 1.0);
    eye = p.xyz;
    nrm = (matN * vec4(vnrm, 0.0)).xyz;
    local = vpos;
    uv = vUV;
    gl_Position = matP * p;
}
