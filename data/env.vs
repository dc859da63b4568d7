// Glossy objects lit through sphere maps (jugs, bottles, greeting jugs).
// Passes to the fragment stage: the texture coordinates, the normal and the
// position in eye space (camera at the origin looking down -z), and the
// position in world space.
attribute vec3 vpos;
attribute vec2 vUV;
attribute vec3 vnrm;
uniform mat4 matM;
uniform mat4 matMM;
uniform mat4 matP;
uniform mat4 matN;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec4 p = matM * vec4(vpos, 1.0);
    eye = p.xyz;
    nrm = (matN * vec4(vnrm, 0.0)).xyz;
    world = (matMM * vec4(vpos, 1.0)).xyz;
    uv = vUV;
    gl_Position = matP * p;
}
