// The trail behind the rod or bullet: passes the texture coordinates (u
// around, v along the trail), the eye-space normal and position.
attribute vec3 vpos;
attribute vec2 vUV;
attribute vec3 vnrm;
uniform mat4 matM;
uniform mat4 matP;
uniform mat4 matN;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;

void main()
{
    vec4 p = matM * vec4(vpos, 1.0);
    eye = p.xyz;
    nrm = (matN * vec4(vnrm, 0.0)).xyz;
    uv = vUV;
    gl_Position = matP * p;
}
