// Fire: the flame picture (tex0) scrolled up the shell over time
// ("iGlobalTime", seconds) and torn sideways by a slower copy of itself. The
// glow is strongest where the shell faces the eye and fades toward the tips
// and the silhouette, so shells read as soft volumes. "factorTex" scales the
// texture coordinates, "factorBlend" mixes in a steady (unanimated) glow,
// "alphafactor" scales the opacity (drawn with SRC_ALPHA, ONE).
precision mediump float;
uniform sampler2D tex0;
uniform float iGlobalTime;
uniform float factorTex;
uniform float factorBlend;
uniform float alphafactor;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 local;

void main()
{
    vec2 at = uv * factorTex;
    float time = iGlobalTime;
    vec2 tear = texture2D(tex0, at * vec2(0.7, 0.45) + vec2(0.13 * time, -0.31 * time)).rg - 0.5;
    float flame = texture2D(tex0, at + vec2(tear.x * 0.22, -0.9 * time + tear.y * 0.1)).r;
    float steady = texture2D(tex0, at).r;
    flame = mix(flame, steady, factorBlend);

    // v runs from the base (0) to the tip (1) of a shell.
    float height = clamp(uv.y, 0.0, 1.0);
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    float facing = abs(dot(n, v));
    float body = smoothstep(0.05, 0.6, facing) * (1.0 - height * height);
    float heat = clamp(flame * 1.4 - height * 0.5, 0.0, 1.0);

    vec3 deep = vec3(0.85, 0.16, 0.02);
    vec3 hot = vec3(1.0, 0.62, 0.18);
    vec3 core = vec3(1.0, 0.93, 0.7);
    vec3 colour = mix(deep, hot, smoothstep(0.15, 0.6, heat));
    colour = mix(colour, core, smoothstep(0.7, 1.0, heat));
    float alpha = clamp(body * (0.25 + heat) * alphafactor, 0.0, 1.0);
    gl_FragColor = vec4(colour * (0.6 + heat), alpha);
}
