// Fire: the flame picture (tex0: red the flame density, green a slower
// tearing noise) scrolled up the shell over time ("iGlobalTime", seconds) and
// torn sideways by the tearing noise. Flames are hottest at the root and fade
// toward the tips and the silhouette, so shells read as soft volumes.
// "factorTex" scales the texture coordinates, "factorBlend" mixes in a steady
// (unanimated) flame, "alphafactor" scales the opacity (drawn with SRC_ALPHA,
// ONE, so a shell adds its colour times its alpha).
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
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
    float tear = texture2D(tex0, at * vec2(0.6, 0.5) + vec2(0.05 * time, -0.35 * time)).g - 0.5;
    float flame = texture2D(tex0, at * vec2(1.0, 0.6) + vec2(tear * 0.35, -1.1 * time)).r;
    float steady = texture2D(tex0, at).r;
    flame = mix(flame, steady, factorBlend);

    // v runs from the root (0) to the tip (1) of a shell.
    float height = clamp(uv.y, 0.0, 1.0);
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    float body = smoothstep(0.0, 0.45, abs(dot(n, v)));
    float fade = 1.0 - smoothstep(0.3, 1.0, height);
    float heat = clamp(flame * (1.15 - height) + (1.0 - height) * 0.2, 0.0, 1.0);

    vec3 colour = mix(vec3(0.9, 0.2, 0.03), vec3(1.0, 0.58, 0.14), smoothstep(0.1, 0.55, heat));
    colour = mix(colour, vec3(1.0, 0.8, 0.45), smoothstep(0.75, 1.0, heat));
    float alpha = clamp(body * fade * (0.2 + 0.9 * heat) * alphafactor, 0.0, 1.0);
    gl_FragColor = vec4(colour, alpha);
}
