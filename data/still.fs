// Polished metal: the colour map (tex0: copper, brass, soot and patina; dull
// where its alpha is low) reflects the environment sphere (tex1) tinted by its
// own colour, over a diffuse base lit through the light sphere (tex2).
precision mediump float;
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

vec2 sphereUV(vec3 r)
{
    float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
    return r.xy / max(m, 0.0001) + 0.5;
}

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    float facing = max(dot(n, v), 0.0);
    vec3 r = reflect(-v, n);

    vec4 metal = texture2D(tex0, uv);
    vec3 env = texture2D(tex1, sphereUV(r)).rgb;
    vec3 light = texture2D(tex2, n.xy * 0.48 + 0.5).rgb;

    float polish = metal.a;
    // Metals tint their reflection; toward grazing angles it turns white.
    float fresnel = pow(1.0 - facing, 5.0);
    vec3 tint = mix(metal.rgb * 1.6, vec3(1.0), fresnel * 0.6);
    vec3 reflection = env * tint * (0.35 + 0.75 * polish);
    vec3 base = metal.rgb * light * (0.85 - 0.45 * polish);
    gl_FragColor = vec4(base + reflection, 1.0);
}
