// Liquid splashes (moonshine, blood): passes the texture coordinates and the
// eye-space normal, tangent (along increasing v) and position.
attribute vec3 vpos;
attribute vec2 vUV;
attribute vec3 vnrm;
attribute vec3 vtan;
uniform mat4 matM;
uniform mat4 matP;
uniform mat4 matN;
varying vec2 uv;
varying vec3 nrm;
varying vec3 tng;
varying vec3 eye;

void main()
{
    vec4 p = matM * vec4(vpos, 1.0);
    eye = p.xyz;
    nrm = (matN * vec4(vnrm, 0.0)).xyz;
    tng = (matN * vec4(vtan, 0.0)).xyz;
    uv = vUV;
    gl_Position = matP * p;
}
